#include "tests/support/capture_fixture.h"

#include "app/spin_box.h"
#include "app/status_bar.h"
#include "capture/Unit3.h"
#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/working_files.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>

namespace {
CursorState arrow_cursor_at(QPoint position) {
    CursorState state;
    state.visible = true;
    state.position = position;
    state.image.hot_spot = QPoint(1, 2);
    state.image.pixels = QImage(4, 4, QImage::Format_ARGB32_Premultiplied);
    state.image.pixels.fill(qRgba(255, 0, 0, 255));
    return state;
}
} // namespace

TEST_F(CaptureTest, DesktopCaptureWithoutCursorWaitsTwoTenthsOfASecondAndGrabsTheDisplay) {
    Form1->commands().resize.resized = true;
    Form1->Capture_bureauClick();
    EXPECT_EQ(waits, std::vector<int>{200});
    EXPECT_EQ(main_visible_at_grab, std::vector<bool>{false});
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(picture(), fake_screen.desktop);
    EXPECT_EQ(read_bmp(grabbed_capture_file()), fake_screen.desktop);
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    EXPECT_EQ(Form1->commands().history.history_index(), 0);
    EXPECT_FALSE(Form1->commands().resize.resized);
    EXPECT_EQ(Form1->Image1->size(), QSize(1280, 1024));
    // The window covers the work area.
    EXPECT_EQ(Form1->pos(), QPoint(0, 0));
    EXPECT_EQ(Form1->outer_size(), QSize(1280, 1024));

    // Undo right after a capture does nothing; neither does redo.
    Form1->Dfaire1Click();
    Form1->Rfaire1Click();
    EXPECT_EQ(Form1->commands().history.history_index(), 0);
    EXPECT_EQ(picture(), fake_screen.desktop);
}

TEST_F(CaptureTest, TheCursorToggleOffersTheDelayAndEveryCaptureKeepsIt) {
    fake_screen.cursor_state = arrow_cursor_at(QPoint(100, 50));
    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    EXPECT_TRUE(Form1->commands().capture.with_cursor());
    EXPECT_TRUE(Form1->Panel_tempo->isVisible());
    EXPECT_EQ(Form1->tempo->value(), 3);

    Form1->Capture_bureauClick();
    EXPECT_EQ(waits, std::vector<int>{3200});
    EXPECT_FALSE(Form1->Panel_tempo->isVisible());
    EXPECT_TRUE(Form1->Insere_curseur->isChecked());
    // The cursor picture lands at position - hot spot.
    EXPECT_EQ(picture().pixelColor(99, 48), QColor(255, 0, 0));
    EXPECT_EQ(picture().pixelColor(102, 51), QColor(255, 0, 0));
    EXPECT_EQ(picture().pixelColor(103, 52), fake_screen.desktop.pixelColor(103, 52));

    Form1->Capture_bureauClick();
    EXPECT_EQ(waits, (std::vector<int>{3200, 3200}));

    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    EXPECT_FALSE(Form1->commands().capture.with_cursor());
    EXPECT_EQ(Form1->tempo->value(), 0);
    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    EXPECT_TRUE(Form1->Panel_tempo->isVisible());
    EXPECT_EQ(Form1->tempo->value(), 3);
}

TEST_F(CaptureTest, WindowCaptureFitsTheMainWindowToTheWindowGrabbed) {
    fake_screen.foreground = ScreenRect{40, 30, 340, 230}; // 300 wide
    Form1->Capture_fenetreClick();
    EXPECT_EQ(main_visible_at_grab, std::vector<bool>{false});
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(picture(), crop(fake_screen.desktop, QRect(40, 30, 300, 200)));
    EXPECT_EQ(Form1->size(), narrow_client(380));

    fake_screen.foreground = ScreenRect{10, 20, 610, 420}; // 600 x 400
    Form1->Capture_fenetreClick();
    EXPECT_EQ(Form1->size(), QSize(610, 476));
    const QSize outer = Form1->outer_size();
    EXPECT_EQ(Form1->pos(), QPoint((1280 - outer.width()) / 2, (1024 - outer.height()) / 2));
    EXPECT_EQ(Form1->commands().history.history().count(), 1);

    // No foreground window: the whole display. With the toolbar and the status bar the window
    // would be larger than the screen: it stops at the work area, wholly on the screen, and the
    // picture area scrolls.
    fake_screen.foreground.reset();
    Form1->Capture_fenetreClick();
    EXPECT_EQ(picture().size(), QSize(1280, 1024));
    EXPECT_EQ(Form1->outer_size(), QSize(1280, 1024));
    EXPECT_EQ(Form1->pos(), QPoint(0, 0));
    fake_screen.work = ScreenRect{0, 0, 1280, 994}; // a panel along the bottom
    Form1->Capture_fenetreClick();
    EXPECT_EQ(Form1->outer_size(), QSize(1280, 994));
    EXPECT_EQ(Form1->pos(), QPoint(0, 15));
}

TEST_F(CaptureTest, OnTheFlyResizeKeepsTheFullCaptureInTheCaptureFile) {
    Form5->resize->setChecked(true);
    Form5->largeur_px->setValue(400);
    Form1->Capture_bureauClick();
    EXPECT_EQ(picture().size(), QSize(400, 320));
    EXPECT_EQ(read_bmp(grabbed_capture_file()).size(), QSize(1280, 1024));
    EXPECT_EQ(waits, (std::vector<int>{200, 100}));
    EXPECT_FALSE(Form1->commands().resize.resized);
}

TEST_F(CaptureTest, AFailedGrabBringsTheMainWindowBack) {
    fake_screen.on_grab = [](const ScreenRect&) { throw KapError("Écran indisponible"); };
    QTest::mouseClick(Form1->Capture_bureau, Qt::LeftButton);
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(fake.errors, QStringList{"Écran indisponible."});
    QTest::mouseClick(Form1->Capture_fenetre, Qt::LeftButton);
    EXPECT_TRUE(Form1->isVisible());
    QTest::mouseClick(Form1->Capture_selection, Qt::LeftButton);
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_FALSE(Form3->isVisible());
}

// --- Region ----------------------------------------------------------------------------------

namespace {
void drag(Qt::MouseButton button, QPoint from, QPoint to) {
    QWidget* view = reinterpret_cast<QWidget*>(Form3->Image1);
    QTest::mousePress(view, button, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF((from + to) / 2),
                     view->mapToGlobal(QPointF((from + to) / 2)), Qt::NoButton, button, {});
    QApplication::sendEvent(view, &move);
    QMouseEvent move2(QEvent::MouseMove, QPointF(to), view->mapToGlobal(QPointF(to)), Qt::NoButton,
                      button, {});
    QApplication::sendEvent(view, &move2);
    QTest::mouseRelease(view, button, {}, to);
}
} // namespace

TEST_F(CaptureTest, ARegionDraggedOnTheFrozenScreenBecomesThePicture) {
    Form1->Capture_selectionClick();
    EXPECT_FALSE(Form1->isVisible());
    ASSERT_TRUE(Form3->isVisible());
    EXPECT_EQ(Form3->geometry(), QRect(0, 0, 1280, 1024));
    EXPECT_EQ(Form3->Image1->picture(), fake_screen.desktop);

    drag(Qt::LeftButton, QPoint(300, 200), QPoint(100, 50));
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(picture(), crop(fake_screen.desktop, QRect(100, 50, 200, 150)));
    EXPECT_EQ(Form5->x1->text(), "100");
    EXPECT_EQ(Form5->x2->text(), "300");
    EXPECT_EQ(Form5->y1->text(), "50");
    EXPECT_EQ(Form5->y2->text(), "200");
    EXPECT_TRUE(Form5->memo_aera->isEnabled());
    EXPECT_FALSE(Form5->memo_aera->isChecked());
    EXPECT_EQ(Form1->size(), narrow_client(382));
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    EXPECT_EQ(read_bmp(grabbed_capture_file()), picture());

    Form1->Capture_selectionClick();
    drag(Qt::LeftButton, QPoint(10, 20), QPoint(610, 420));
    EXPECT_EQ(Form1->size(), QSize(610, 476));
}

TEST_F(CaptureTest, TheRubberBandIsInvertedWhileTheLeftButtonIsHeldOnly) {
    Form1->Capture_selectionClick();
    QWidget* view = Form3->Image1;
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(20, 15), view->mapToGlobal(QPointF(20, 15)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(view, &move);
    const QImage shown = Form3->shown_pixels();
    const QImage& frozen = Form3->captured_bitmap;
    auto inverted = [&](int x, int y) {
        return shown.pixel(x, y) == (frozen.pixel(x, y) ^ 0x00FFFFFFu);
    };
    EXPECT_TRUE(inverted(10, 10) && inverted(19, 10) && inverted(10, 14) && inverted(19, 14));
    EXPECT_EQ(shown.pixel(15, 12), frozen.pixel(15, 12)); // inside is untouched
    EXPECT_EQ(shown.pixel(20, 15), frozen.pixel(20, 15)); // right and bottom are exclusive
    EXPECT_EQ(frozen, fake_screen.desktop);               // the frozen raster never changes

    // The next move takes the old band away.
    QMouseEvent back(QEvent::MouseMove, QPointF(12, 12), view->mapToGlobal(QPointF(12, 12)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(view, &back);
    EXPECT_EQ(Form3->shown_pixels().pixel(19, 14), frozen.pixel(19, 14));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(12, 12));

    // A right-button drag selects but shows no band.
    Form1->Capture_selectionClick();
    QTest::mousePress(view, Qt::RightButton, {}, QPoint(10, 10));
    QMouseEvent right(QEvent::MouseMove, QPointF(30, 30), view->mapToGlobal(QPointF(30, 30)),
                      Qt::NoButton, Qt::RightButton, {});
    QApplication::sendEvent(view, &right);
    EXPECT_FALSE(Form3->band_shown);
    EXPECT_EQ(Form3->shown_pixels(), fake_screen.desktop);
    QTest::mouseRelease(view, Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_EQ(picture().size(), QSize(20, 20));
}

TEST_F(CaptureTest, AClickWithoutDraggingCancelsTheRegionCapture) {
    Form1->Capture_bureauClick();
    Form1->Capture_selectionClick();
    QTest::mouseClick(Form3->Image1, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_TRUE(Form1->Image1->is_empty());
    EXPECT_TRUE(Form1->commands().history.history().empty());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(Form1->outer_size(), QSize(442, 408)) << "436 wide is below the minimum outer width";

    // Reset brings back the capture before: the desktop.
    Form1->reload_Click();
    EXPECT_EQ(picture(), fake_screen.desktop);
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
}

TEST_F(CaptureTest, EscapeCancelsTheRegionCaptureLikeAClick) {
    Form1->Capture_bureauClick();
    Form1->Capture_selectionClick();
    ASSERT_TRUE(Form3->isVisible());
    QTest::mousePress(Form3->Image1, Qt::LeftButton, {}, QPoint(40, 40));
    QTest::mouseMove(Form3->Image1, QPoint(90, 80));
    QTest::keyClick(Form3, Qt::Key_Escape);
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(Form1->Image1->is_empty());
    EXPECT_TRUE(Form1->commands().history.history().empty());
    // The button let go afterwards ends no selection: nothing is cut, nothing is reported.
    QTest::mouseRelease(Form3->Image1, Qt::LeftButton, {}, QPoint(90, 80));
    EXPECT_TRUE(Form1->Image1->is_empty());
    EXPECT_TRUE(fake.errors.isEmpty()) << fake.errors.join('|').toStdString();
    // Other keys do nothing.
    Form1->Capture_selectionClick();
    QTest::keyClick(Form3, Qt::Key_A);
    EXPECT_TRUE(Form3->isVisible());
    drag(Qt::LeftButton, QPoint(10, 10), QPoint(30, 40));
    EXPECT_EQ(picture().size(), QSize(20, 30));
}

TEST_F(CaptureTest, TheRememberedRegionIsGrabbedDirectly) {
    Form1->Capture_selectionClick();
    drag(Qt::LeftButton, QPoint(100, 50), QPoint(300, 200));
    Form5->memo_aera->click();
    EXPECT_EQ(Form1->StatusBar1->panel_text(StatusPanel::SameRegion), "Capture la même zone");
    waits.clear();
    Form1->commands().resize.resized = true;
    Form1->StatusBar1->set_panel_text(StatusPanel::Notice, "ancien");

    Form1->Capture_selectionClick();
    EXPECT_TRUE(waits.empty()); // no wait at all with the toggle up
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(Form1->commands().resize.resized); // kept by this path
    EXPECT_TRUE(Form1->StatusBar1->panel_text(StatusPanel::Notice).isEmpty());
    EXPECT_EQ(picture(), crop(fake_screen.desktop, QRect(100, 50, 200, 150)));
    EXPECT_EQ(Form1->commands().history.history().count(), 1);

    // With the toggle down: the delay and the cursor.
    fake_screen.cursor_state = arrow_cursor_at(QPoint(150, 100));
    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    Form1->Capture_selectionClick();
    EXPECT_EQ(waits, std::vector<int>{3200});
    EXPECT_EQ(picture().pixelColor(49, 48), QColor(255, 0, 0));

    // "RAZ" forgets it: the overlay comes back.
    Form5->Button2->click();
    Form1->Capture_selectionClick();
    EXPECT_TRUE(Form3->isVisible());
    Form3->end_selection();
}
