// The capture commands of the main window on a real X server (Xvfb with openbox): the program's
// own windows, its real waits and its X11 screen, with known pixels put on the screen through a
// connection of the test's own and the mouse driven with xdotool.

#include "tests/support/fake_dialogs.h"
#include "tests/support/test_pictures.h"
#include "tests/support/waits.h"
#include "tests/support/x_desktop.h"

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/kap_application.h"
#include "app/spin_box.h"
#include "app/startup.h"
#include "capture/Unit3.h"
#include "capture/screen_grabber.h"
#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/picture_view.h"
#include "edit/working_files.h"
#include "platform/dialogs.h"
#include "platform/wait.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

void paste(QImage& target, const QImage& source, QPoint at) {
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            target.setPixel(at.x() + x, at.y() + y, source.pixel(x, y));
}

// Number of pixels inside `area` (in both pictures' coordinates) where the two differ; the
// first one is described in *where.
int differing(const QImage& a, const QImage& b, QRect area, QString* where = nullptr) {
    area &= a.rect() & b.rect();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                if (count++ == 0 && where)
                    *where = QStringLiteral("first at (%1, %2): %3 instead of %4")
                                 .arg(x)
                                 .arg(y)
                                 .arg(a.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                                 .arg(b.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
            }
    return count;
}

std::string text(const QRect& r) {
    return QStringLiteral("%1x%2 at (%3, %4)")
        .arg(r.width())
        .arg(r.height())
        .arg(r.x())
        .arg(r.y())
        .toStdString();
}

// Runs xdotool while the event loop goes on, so that the program sees the mouse as it moves.
// A 20 x 24 cursor with its hot spot at (14, 15): red where the source bit is set, blue
// elsewhere; transparent in a 2-pixel left column and a 4 x 4 bottom-right corner.
bool cursor_source(int cx, int cy) {
    return (cx / 4 + cy / 4) % 2 == 0;
}
bool cursor_mask(int cx, int cy) {
    return cx >= 2 && !(cx >= 16 && cy >= 20);
}
constexpr QSize cursor_size(20, 24);
constexpr QPoint cursor_hot_spot(14, 15);

class CaptureX11Test : public ::testing::Test {
protected:
    XDesktop x;
    FakeDialogs dialogs_;
    QTemporaryDir temp;
    QByteArray old_tmpdir;
    // What the screen shows beneath the program's windows.
    QImage desktop;

    void SetUp() override {
        ASSERT_TRUE(x.ok()) << "no X server";
        ASSERT_TRUE(temp.isValid());
        old_tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        set_dialogs(&dialogs_);
        desktop = position_pattern(x.root_size());
        x.show_on_root(desktop);
        x.warp(QPoint(5, 5));

        create_windows();
        Form5->resize->setChecked(false);
        Form1->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
        ASSERT_TRUE(wait_until([] { return !Form1->frame_margins().isNull(); }))
            << "the window manager gave the main window no frame";
    }

    void TearDown() override {
        if (HasFailure()) // a drag cut short must not leave a button held for the next test
            xdotool({"mouseup", "1", "mouseup", "3"});
        destroy_windows();
        set_dialogs(nullptr);
        set_waiter({});
        x.destroy_windows();
        if (old_tmpdir.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", old_tmpdir);
        EXPECT_TRUE(dialogs_.errors.isEmpty())
            << dialogs_.errors.join(QLatin1Char('|')).toStdString();
    }

    // A window of known pixels, exactly where asked and above everything there.
    void show_window(QPoint at, const QImage& picture) {
        const xcb_window_t win = x.picture_window(at, picture, true);
        x.map(win);
        ASSERT_TRUE(wait_until([&] { return x.viewable(win); }));
        paste(desktop, picture, at);
    }

    static QImage screen_now() { return grab_screen(false); }

    // Moves the main window and waits until the screen shows it there, over known pixels.
    // (Qt places a framed window by its frame or by its client area depending on what it knows
    // of the frame at that moment: the place is only roughly the one asked for.)
    void put_main_window_at(QPoint at) {
        Form1->move(at);
        Form1->raise();
        ASSERT_TRUE(wait_until([&] {
            const QRect frame = main_frame();
            return (frame.topLeft() - at).manhattanLength() <= 40 &&
                   differing(screen_now(), desktop, frame) > frame.width() * frame.height() / 2;
        })) << "the main window did not show over the known pixels: "
            << text(main_frame());
    }

    // The main window's outer rectangle as the window manager has framed it.
    QRect main_frame() { return x.frame_of(xcb_window_t(Form1->winId())); }

    static const QImage& picture() { return Form1->Image1->picture(); }
    static QImage grabbed_file() { return read_bmp(grabbed_capture_file()); }
};

TEST_F(CaptureX11Test, DesktopCaptureHasTheScreenExactlyAndNotTheMainWindow) {
    const QPoint window_at(200, 150);
    ASSERT_NO_FATAL_FAILURE(show_window(window_at, window_pattern(QSize(360, 240), 1)));
    // Over part of the window and part of the root window.
    ASSERT_NO_FATAL_FAILURE(put_main_window_at(QPoint(300, 250)));
    const QRect main_before = main_frame();

    // The real wait, not a recorded one: the window must be gone by the grab.
    QElapsedTimer timer;
    timer.start();
    Form1->Capture_bureauClick();
    EXPECT_GE(timer.elapsed(), 200);

    ASSERT_EQ(picture().size(), x.root_size());
    QString where;
    EXPECT_EQ(differing(picture(), desktop, main_before, &where), 0)
        << "where the main window stood: " << where.toStdString();
    EXPECT_EQ(differing(picture(), desktop, picture().rect(), &where), 0) << where.toStdString();
    EXPECT_EQ(grabbed_file(), picture());
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    EXPECT_EQ(Form1->commands().history.history_index(), 0);

    // Shown again, stretched over the work area (the whole screen: openbox has no panel).
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(wait_until([&] { return main_frame() == QRect(QPoint(0, 0), x.root_size()); }))
        << text(main_frame());

    // The window now covers the whole screen; a second capture still sees none of it.
    ASSERT_TRUE(
        wait_until([&] { return differing(screen_now(), desktop, QRect(0, 0, 50, 50)) > 0; }));
    Form1->Capture_bureauClick();
    EXPECT_EQ(differing(picture(), desktop, picture().rect(), &where), 0) << where.toStdString();
}

TEST_F(CaptureX11Test, WindowCaptureTakesTheActiveWindowWithItsFrame) {
    const QImage inside = window_pattern(QSize(500, 300), 2);
    const xcb_window_t win = x.picture_window(QPoint(150, 120), inside, false);
    x.map(win);
    ASSERT_TRUE(wait_until([&] { return x.viewable(win) && x.has_frame_extents(win); }));
    x.request_activation(win);
    ASSERT_TRUE(wait_until([&] { return x.active_window() == win; }));
    // The user clicks the button in the main window, which becomes the active one; hiding it
    // gives the focus back to the window before.
    const xcb_window_t main_id = xcb_window_t(Form1->winId());
    x.request_activation(main_id);
    ASSERT_TRUE(wait_until([&] { return x.active_window() == main_id; }));

    Form1->Capture_fenetreClick();

    const QRect frame = x.frame_of(win);
    const QPoint client = x.root_position(win) - frame.topLeft();
    ASSERT_GT(frame.width(), inside.width()) << "no frame around the window";
    ASSERT_GT(frame.height(), inside.height());
    ASSERT_EQ(picture().size(), frame.size());
    QString where;
    EXPECT_EQ(
        differing(picture().copy(QRect(client, inside.size())), inside, inside.rect(), &where), 0)
        << where.toStdString();
    // The title bar is openbox's, not the root window's pixels.
    EXPECT_GT(differing(picture(), desktop.copy(frame), QRect(0, 0, frame.width(), client.y())), 0);
    EXPECT_EQ(grabbed_file(), picture());
    EXPECT_EQ(Form1->commands().history.history().count(), 1);

    // Fitted around the picture and centred on the display.
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(Form1->size(), QSize(frame.width() + 10, frame.height() + 76));
    const QSize root = x.root_size();
    EXPECT_TRUE(wait_until([&] {
        const QRect outer = main_frame();
        return outer.topLeft() ==
               QPoint((root.width() - outer.width()) / 2, (root.height() - outer.height()) / 2);
    })) << text(main_frame());
}

TEST_F(CaptureX11Test, CursorIsDrawnWhereItStandsWhenTheToggleIsDown) {
    constexpr uint32_t kBackground = 0x336699;
    const QRect area(400, 200, 300, 200);
    const xcb_window_t win = x.plain_window(area, kBackground);
    x.map(win);
    ASSERT_TRUE(wait_until([&] { return x.viewable(win); }));
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x_ = area.left(); x_ <= area.right(); ++x_)
            desktop.setPixel(x_, y, 0xFF000000u | kBackground);
    x.set_cursor(win, x.make_cursor(cursor_size, cursor_hot_spot, cursor_source, cursor_mask));
    // The pointer stands over the main window until it hides, then over the test window.
    const QPoint pointer(500, 300);
    ASSERT_NO_FATAL_FAILURE(put_main_window_at(QPoint(380, 180)));
    x.warp(pointer);

    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    ASSERT_TRUE(Form1->commands().capture.with_cursor());
    ASSERT_EQ(Form1->tempo->value(), 3);
    Form1->tempo->setValue(0);
    Form1->Capture_bureauClick();

    QImage expected = desktop;
    const QPoint corner = pointer - cursor_hot_spot; // (486, 285)
    for (int cy = 0; cy < cursor_size.height(); ++cy)
        for (int cx = 0; cx < cursor_size.width(); ++cx)
            if (cursor_mask(cx, cy))
                expected.setPixel(corner + QPoint(cx, cy),
                                  cursor_source(cx, cy) ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    ASSERT_EQ(picture().size(), x.root_size());
    EXPECT_EQ(picture().pixel(486 + 2, 285), qRgb(255, 0, 0));
    EXPECT_EQ(picture().pixel(486 + 4, 285), qRgb(0, 0, 255));
    EXPECT_EQ(picture().pixel(486 + 1, 285), qRgb(0x33, 0x66, 0x99));
    QString where;
    EXPECT_EQ(differing(picture(), expected, picture().rect(), &where), 0) << where.toStdString();
    // The capture file holds the cursor too: it is the capture as grabbed.
    EXPECT_EQ(grabbed_file(), picture());
    EXPECT_FALSE(Form1->Panel_tempo->isVisible());
    EXPECT_TRUE(Form1->Insere_curseur->isChecked());

    // Toggle up: the cursor stays out.
    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    ASSERT_FALSE(Form1->commands().capture.with_cursor());
    x.warp(pointer);
    Form1->Capture_bureauClick();
    EXPECT_EQ(differing(picture(), desktop, picture().rect(), &where), 0) << where.toStdString();
}

TEST_F(CaptureX11Test, RegionDraggedOnTheOverlayBecomesThePicture) {
    ASSERT_NO_FATAL_FAILURE(show_window(QPoint(120, 80), window_pattern(QSize(150, 100), 3)));
    ASSERT_NO_FATAL_FAILURE(
        put_main_window_at(QPoint(60, 40))); // over the region about to be chosen

    Form1->Capture_selectionClick();
    EXPECT_FALSE(Form1->isVisible());
    ASSERT_TRUE(Form3->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form3));
    EXPECT_EQ(x.frame_of(xcb_window_t(Form3->winId())), QRect(QPoint(0, 0), x.root_size()));
    QString where;
    EXPECT_EQ(differing(Form3->captured_bitmap, desktop, desktop.rect(), &where), 0)
        << "frozen screen: " << where.toStdString();

    // Press at (300, 200) and drag up and left, the button held.
    ASSERT_TRUE(xdotool({"mousemove", "300", "200", "sleep", "0.1", "mousedown", "1", "sleep",
                         "0.1", "mousemove", "200", "120", "sleep", "0.1", "mousemove", "100", "50",
                         "sleep", "0.1"}));
    ASSERT_TRUE(wait_until([] { return Form3->band_corner == QPoint(100, 50); }));
    // The band is on the screen, inverted, and not in the frozen screen.
    ASSERT_TRUE(wait_until([&] {
        const QImage shown = grab_rect_cursor(false, {100, 50, 300, 200});
        return shown.pixel(50, 0) == (desktop.pixel(150, 50) ^ 0xFFFFFF) &&
               shown.pixel(0, 75) == (desktop.pixel(100, 125) ^ 0xFFFFFF) &&
               shown.pixel(50, 75) == desktop.pixel(150, 125);
    })) << "no band on the screen";
    EXPECT_EQ(differing(Form3->captured_bitmap, desktop, desktop.rect()), 0);

    ASSERT_TRUE(xdotool({"mouseup", "1"}));
    ASSERT_TRUE(wait_until([] { return Form1->isVisible() && !Form3->isVisible(); }));

    const QImage expected = desktop.copy(100, 50, 200, 150);
    ASSERT_EQ(picture().size(), QSize(200, 150));
    EXPECT_EQ(differing(picture(), expected, expected.rect(), &where), 0) << where.toStdString();
    EXPECT_EQ(grabbed_file(), picture());
    EXPECT_EQ(Form5->x1->text(), QStringLiteral("100"));
    EXPECT_EQ(Form5->x2->text(), QStringLiteral("300"));
    EXPECT_EQ(Form5->y1->text(), QStringLiteral("50"));
    EXPECT_EQ(Form5->y2->text(), QStringLiteral("200"));
    EXPECT_TRUE(Form5->memo_aera->isEnabled());
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    // Narrower than 418: the fixed client area, as wide as the 442-pixel minimum lets it be.
    // The window manager frames the window again a moment after it shows (openbox starts a
    // frame at 1 x 1): measure the frame once it holds the window and its title bar.
    ASSERT_TRUE(wait_until([&] {
        const QRect frame = main_frame();
        return frame.width() >= Form1->width() && frame.height() > Form1->height();
    })) << text(main_frame());
    const int frame_width = main_frame().width() - Form1->width();
    EXPECT_EQ(Form1->size(), QSize(std::max(428, 442 - frame_width), 382));
    EXPECT_TRUE(Form3->captured_bitmap.isNull());

    // Remembered from now on: the same rectangle, grabbed at once without the overlay, and
    // without the main window although it stands over it.
    Form5->memo_aera->click();
    ASSERT_TRUE(Form5->memo_aera->isChecked());
    ASSERT_NO_FATAL_FAILURE(show_window(QPoint(90, 40), window_pattern(QSize(120, 90), 4)));
    ASSERT_NO_FATAL_FAILURE(put_main_window_at(QPoint(150, 100)));
    std::vector<int> waits;
    set_waiter([&](int ms) { waits.push_back(ms); });
    Form1->Capture_selectionClick();
    EXPECT_TRUE(waits.empty()) << "waited although the cursor toggle is up";
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    ASSERT_EQ(picture().size(), QSize(200, 150));
    EXPECT_EQ(differing(picture(), desktop.copy(100, 50, 200, 150), QRect(0, 0, 200, 150), &where),
              0)
        << where.toStdString();
}

TEST_F(CaptureX11Test, ClickWithoutDraggingLeavesNoPicture) {
    Form1->Capture_bureauClick(); // a picture and a grabbed capture file to start from
    ASSERT_FALSE(Form1->Image1->is_empty());
    Form1->Capture_selectionClick();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form3));
    ASSERT_TRUE(xdotool({"mousemove", "400", "300", "sleep", "0.1", "click", "1"}));
    ASSERT_TRUE(wait_until([] { return Form1->isVisible() && !Form3->isVisible(); }));
    EXPECT_TRUE(Form1->Image1->is_empty());
    EXPECT_TRUE(Form1->commands().history.history().empty());
    // The outer size counts openbox's frame; 436 wide is below the minimum outer width.
    EXPECT_TRUE(wait_until([&] { return main_frame().size() == QSize(442, 408); }))
        << text(main_frame());
    EXPECT_TRUE(Form5->x1->text().isEmpty());
}

TEST_F(CaptureX11Test, RightButtonDragSelectsWithoutABand) {
    Form1->Capture_selectionClick();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form3));
    ASSERT_TRUE(xdotool({"mousemove", "650", "460", "sleep", "0.1", "mousedown", "3", "sleep",
                         "0.1", "mousemove", "300", "200", "sleep", "0.1", "mousemove", "50", "60",
                         "sleep", "0.2"}));
    QTest::qWait(100);
    EXPECT_EQ(differing(grab_rect_cursor(false, {50, 60, 650, 460}), desktop.copy(50, 60, 600, 400),
                        QRect(0, 0, 600, 400)),
              0)
        << "a band was drawn";
    ASSERT_TRUE(xdotool({"mouseup", "3"}));
    ASSERT_TRUE(wait_until([] { return Form1->isVisible() && !Form3->isVisible(); }));
    ASSERT_EQ(picture().size(), QSize(600, 400));
    QString where;
    EXPECT_EQ(differing(picture(), desktop.copy(50, 60, 600, 400), QRect(0, 0, 600, 400), &where),
              0)
        << where.toStdString();
    EXPECT_EQ(Form1->size(), QSize(610, 476));
}

} // namespace
