// The region capture on two displays whose primary one is not at the desktop's top-left corner
// (run with KAP_X11_OUTPUTS="640x480+0+0 1024x768+640+100*": a 640 x 480 display at the left,
// the 1024 x 768 primary display beside it, 100 pixels lower). The overlay shows the frozen
// primary display where it is; what the user drags over is what the picture holds, and the
// remembered region grabs that same place again.

#include "tests/support/fake_dialogs.h"
#include "tests/support/test_pictures.h"
#include "tests/support/waits.h"
#include "tests/support/x_desktop.h"

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/kap_application.h"
#include "app/startup.h"
#include "capture/Unit3.h"
#include "capture/screen_grabber.h"
#include "edit/picture_view.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "platform/x11/x11_screen.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

// A drag with the left button between two points of the root window.
bool drag(QPoint from, QPoint to) {
    const QPoint middle = (from + to) / 2;
    return xdotool({"mousemove",
                    QString::number(from.x()),
                    QString::number(from.y()),
                    "sleep",
                    "0.1",
                    "mousedown",
                    "1",
                    "sleep",
                    "0.1",
                    "mousemove",
                    QString::number(middle.x()),
                    QString::number(middle.y()),
                    "sleep",
                    "0.1",
                    "mousemove",
                    QString::number(to.x()),
                    QString::number(to.y()),
                    "sleep",
                    "0.1",
                    "mouseup",
                    "1"});
}

int differing(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += (a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF);
    return count;
}

// Where the primary display lies on the root window.
constexpr QPoint kPrimaryAt(640, 100);
constexpr QSize kPrimarySize(1024, 768);

class TwoDisplaysX11Test : public ::testing::Test {
protected:
    XDesktop x;
    FakeDialogs dialogs_;
    QTemporaryDir temp;
    QImage desktop; // the root window's picture

    void SetUp() override {
        ASSERT_TRUE(x.ok()) << "no X server";
        ASSERT_EQ(x.root_size(), QSize(1664, 868))
            << "not the two displays of KAP_X11_OUTPUTS=\"640x480+0+0 1024x768+640+100*\"";
        ASSERT_TRUE(temp.isValid());
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        set_dialogs(&dialogs_);
        desktop = position_pattern_never_black(x.root_size());
        x.show_on_root(desktop);
        ASSERT_EQ(::screen().primary_display(), (ScreenRect{0, 0, 1024, 768}));
        ASSERT_EQ(::screen().virtual_desktop(), (ScreenRect{-640, -100, 1024, 768}));
        create_windows();
        Form5->resize->setChecked(false);
        Form1->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    }

    void TearDown() override {
        if (HasFailure())
            xdotool({"mouseup", "1"});
        destroy_windows();
        set_dialogs(nullptr);
        x.destroy_windows();
        EXPECT_TRUE(dialogs_.errors.isEmpty())
            << dialogs_.errors.join(QLatin1Char('|')).toStdString();
    }

    static const QImage& picture() { return Form1->Image1->picture(); }

    // The root window's pixels of a rectangle given in primary-display coordinates.
    QImage desktop_at(const QRect& r) const { return desktop.copy(r.translated(kPrimaryAt)); }
};

// The layout read through Qt's connection (the program's screen before its first grab) is the
// one its own connection reads; that connection waits for the first grab.
TEST(TwoDisplaysX11Layout, ReadThroughQtsConnectionAsThroughTheScreensOwn) {
    X11Screen through_qt;
    X11Screen own(qgetenv("DISPLAY"));
    const ScreenRect primary = through_qt.primary_display();
    EXPECT_EQ(primary, (ScreenRect{0, 0, 1024, 768}));
    EXPECT_EQ(through_qt.virtual_desktop(), (ScreenRect{-640, -100, 1024, 768}));
    EXPECT_EQ(through_qt.work_area(), own.work_area());
    EXPECT_EQ(primary, own.primary_display());
    EXPECT_FALSE(through_qt.connected());
    EXPECT_TRUE(own.connected());

    QImage raster(10, 10, QImage::Format_BGR888);
    through_qt.grab(raster, ScreenRect{0, 0, 10, 10});
    EXPECT_TRUE(through_qt.connected());
    EXPECT_EQ(through_qt.work_area(), own.work_area());
}

TEST_F(TwoDisplaysX11Test, OverlayShowsThePrimaryDisplayWhereItIsAndCutsWhatWasDragged) {
    Form1->Capture_selectionClick();
    ASSERT_TRUE(Form3->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form3));
    // Over both displays, the frozen primary display exactly where the display is.
    EXPECT_EQ(x.frame_of(xcb_window_t(Form3->winId())), QRect(QPoint(0, 0), x.root_size()));
    ASSERT_EQ(Form3->captured_bitmap.size(), kPrimarySize);
    ASSERT_TRUE(wait_until([&] {
        return differing(grab_rect_cursor(false, {0, 0, 1024, 768}),
                         desktop_at(QRect(QPoint(0, 0), kPrimarySize))) == 0;
    })) << "the overlay does not show the primary display where it is";
    // The other display is black.
    const QImage other = grab_rect_cursor(false, {-640, -100, 0, 380});
    QImage black(640, 480, QImage::Format_BGR888);
    black.fill(Qt::black);
    EXPECT_EQ(differing(other, black), 0) << "the other display is not black";

    // Dragged on the primary display, from (300, 200) up and left to (100, 50) of it.
    ASSERT_TRUE(drag(kPrimaryAt + QPoint(300, 200), kPrimaryAt + QPoint(100, 50)));
    ASSERT_TRUE(wait_until([] { return Form1->isVisible() && !Form3->isVisible(); }));
    const QRect chosen(100, 50, 200, 150);
    EXPECT_EQ(differing(picture(), desktop_at(chosen)), 0) << "not what was under the band";
    EXPECT_EQ(Form5->x1->text().toStdString(), "100");
    EXPECT_EQ(Form5->x2->text().toStdString(), "300");
    EXPECT_EQ(Form5->y1->text().toStdString(), "50");
    EXPECT_EQ(Form5->y2->text().toStdString(), "200");

    // The remembered region grabs the same place of the primary display.
    Form5->memo_aera->click();
    ASSERT_TRUE(Form5->memo_aera->isChecked());
    Form1->Capture_selectionClick();
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(differing(picture(), desktop_at(chosen)), 0) << "the remembered region moved";
}

TEST_F(TwoDisplaysX11Test, DragStartedOnTheOtherDisplayKeepsItsPlace) {
    Form1->Capture_selectionClick();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form3));
    // From (-140, 200), on the other display, to (100, 300) on the primary one.
    ASSERT_TRUE(drag(kPrimaryAt + QPoint(-140, 200), kPrimaryAt + QPoint(100, 300)));
    ASSERT_TRUE(wait_until([] { return Form1->isVisible() && !Form3->isVisible(); }));
    EXPECT_EQ(Form5->x1->text().toStdString(), "-140");
    EXPECT_EQ(Form5->x2->text().toStdString(), "100");
    EXPECT_EQ(Form5->y1->text().toStdString(), "200");
    EXPECT_EQ(Form5->y2->text().toStdString(), "300");
    ASSERT_EQ(picture().size(), QSize(240, 100));
    // Off the frozen primary display the picture is black; on it, the primary's pixels.
    QImage expected(240, 100, QImage::Format_BGR888);
    expected.fill(Qt::black);
    const QImage on_primary = desktop_at(QRect(0, 200, 100, 100));
    for (int y = 0; y < 100; ++y)
        for (int x_ = 0; x_ < 100; ++x_)
            expected.setPixel(140 + x_, y, on_primary.pixel(x_, y));
    EXPECT_EQ(differing(picture(), expected), 0);
}

} // namespace
