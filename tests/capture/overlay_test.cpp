// The region overlay over two displays whose primary one is not at the desktop's top-left
// corner, on Qt's offscreen platform: where the frozen picture lies, what the rest shows, and
// which picture coordinates presses and releases anywhere on the overlay give.

#include "capture/Unit3.h"
#include "edit/picture_view.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>

namespace {

QImage pattern(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, 0x80 | (x >> 8) * 16 | (y >> 8)));
    return image;
}

// A 640 x 480 display left of the primary 1024 x 768 one, which lies 100 pixels lower: the
// virtual desktop in screen (primary-display) coordinates.
const ScreenRect kDesktop{-640, -100, 1024, 768};

class OverlayTest : public ::testing::Test {
protected:
    TForm3 form;
    QImage frozen = pattern(1024, 768);
    std::optional<std::pair<QPoint, QPoint>> released;

    void SetUp() override {
        form.on_release = [this](QPoint press, QPoint release) { released = {press, release}; };
        form.start_selection(frozen, kDesktop);
    }
    void TearDown() override { form.end_selection(); }

    // A move with the left button held, sent to `widget` at `at` of it.
    static void drag_to(QWidget* widget, QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
};

TEST_F(OverlayTest, FrozenPictureLiesWhereThePrimaryDisplayIsAndBlackCoversTheRest) {
    EXPECT_EQ(form.size(), QSize(1664, 868));
    EXPECT_EQ(form.Image1->geometry(), QRect(640, 100, 1024, 768));
    EXPECT_EQ(form.overlay_to_picture(QPoint(640, 100)), QPoint(0, 0));
    EXPECT_EQ(form.overlay_to_picture(QPoint(0, 0)), QPoint(-640, -100));

    const QImage shown = form.grab().toImage();
    ASSERT_EQ(shown.size(), QSize(1664, 868));
    EXPECT_EQ(shown.pixel(640 + 5, 100 + 7), frozen.pixel(5, 7));
    EXPECT_EQ(shown.pixel(1663, 867), frozen.pixel(1023, 767));
    EXPECT_EQ(shown.pixel(10, 10), qRgb(0, 0, 0));   // the other display
    EXPECT_EQ(shown.pixel(1000, 50), qRgb(0, 0, 0)); // above the primary one
    EXPECT_EQ(shown.pixel(639, 300), qRgb(0, 0, 0));
}

TEST_F(OverlayTest, PressesAndReleasesAnywhereGiveScreenCoordinates) {
    // Pressed over the picture, released over the other display.
    QTest::mousePress(form.Image1, Qt::LeftButton, {}, QPoint(300, 200));
    drag_to(form.Image1, QPoint(-40, 150));
    QTest::mouseRelease(form.Image1, Qt::LeftButton, {}, QPoint(-40, 150));
    ASSERT_TRUE(released);
    EXPECT_EQ(released->first, QPoint(300, 200));
    EXPECT_EQ(released->second, QPoint(-40, 150));
    // The band is drawn on the picture only, where it crosses it; the frozen picture is kept.
    EXPECT_EQ(form.shown_pixels().pixel(0, 150), frozen.pixel(0, 150) ^ 0xFFFFFF);
    EXPECT_EQ(form.shown_pixels().pixel(299, 175), frozen.pixel(299, 175) ^ 0xFFFFFF);
    EXPECT_EQ(form.captured_bitmap.pixel(0, 150), frozen.pixel(0, 150));

    // Pressed over the other display, where the overlay itself takes the mouse.
    released.reset();
    QTest::mousePress(&form, Qt::RightButton, {}, QPoint(500, 300));
    EXPECT_EQ(form.press_point, QPoint(-140, 200));
    QTest::mouseRelease(&form, Qt::RightButton, {}, QPoint(740, 400));
    ASSERT_TRUE(released);
    EXPECT_EQ(released->first, QPoint(-140, 200));
    EXPECT_EQ(released->second, QPoint(100, 300));
}

TEST(OverlayOneDisplay, PictureFillsTheOverlayAsBefore) {
    TForm3 form;
    form.start_selection(pattern(800, 600), {0, 0, 800, 600});
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, 800, 600));
    EXPECT_EQ(form.overlay_to_picture(QPoint(12, 34)), QPoint(12, 34));
    form.end_selection();
}

} // namespace
