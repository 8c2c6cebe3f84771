// Captures under a compositing manager that fades windows out when they are hidden (run with
// KAP_X11_COMPOSITOR="xcompmgr -c -f"): the main window, fading and with its shadow, must never
// be in a capture, also when the capture grabs at once (a remembered region with the cursor
// toggle up waits for nothing of its own).

#include "tests/support/fake_dialogs.h"
#include "tests/support/test_pictures.h"
#include "tests/support/waits.h"
#include "tests/support/x_desktop.h"

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/kap_application.h"
#include "app/startup.h"
#include "capture/screen_grabber.h"
#include "edit/picture_view.h"
#include "platform/dialogs.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

// Pixels of `shot` (whose top-left corner is at `at` on the screen) that differ from the
// desktop; the bounding box of them goes to *box.
int differing(const QImage& shot, const QImage& desktop, QPoint at, QRect* box = nullptr) {
    int count = 0;
    QRect bounds;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, y) != desktop.pixel(at.x() + x, at.y() + y)) {
                ++count;
                bounds |= QRect(at.x() + x, at.y() + y, 1, 1);
            }
    if (box)
        *box = bounds;
    return count;
}

class CompositorX11Test : public ::testing::Test {
protected:
    XDesktop x;
    FakeDialogs dialogs_;
    QTemporaryDir temp;
    QImage desktop;
    pid_t stopped_wm = 0; // set going again at the end, whatever happens

    void SetUp() override {
        ASSERT_TRUE(x.ok()) << "no X server";
        ASSERT_TRUE(temp.isValid());
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        ASSERT_TRUE(wait_until([&] { return x.selection_owner("_NET_WM_CM_S0") != XCB_NONE; }))
            << "no compositing manager runs (KAP_X11_COMPOSITOR)";
        set_dialogs(&dialogs_);
        desktop = position_pattern(x.root_size());
        x.warp(QPoint(5, 5));
        // A compositor that has just started may not listen yet for the background's change:
        // it is told again until it paints it.
        QElapsedTimer told;
        ASSERT_TRUE(wait_until([&] {
            if (!told.isValid() || told.elapsed() > 500) {
                x.show_on_root(desktop);
                told.start();
            }
            return differing(grab_rect_cursor(false, {0, 0, 200, 200}), desktop, {}) == 0;
        })) << "the compositor does not paint the root window's picture";
        create_windows();
        Form5->resize->setChecked(false);
    }

    void TearDown() override {
        if (stopped_wm > 0)
            kill(stopped_wm, SIGCONT);
        destroy_windows();
        set_dialogs(nullptr);
        x.destroy_windows();
        EXPECT_TRUE(dialogs_.errors.isEmpty())
            << dialogs_.errors.join(QLatin1Char('|')).toStdString();
    }

    // Puts the main window inside `within` and waits until the screen shows it there; with
    // `opaque`, until the compositor's fade-in is over too.
    void show_main_window(const QRect& within, bool opaque) {
        Form1->set_outer_size(QSize(436, 408)); // a desktop capture stretched it over the screen
        Form1->show();
        Form1->raise();
        QElapsedTimer moved;
        QElapsedTimer sampled;
        QImage before;
        ASSERT_TRUE(wait_until([&] {
            const QRect frame = x.frame_of(xcb_window_t(Form1->winId()));
            if (!within.contains(frame)) {
                // Asked again: the window is centred when first shown, and a size asked for
                // while the window manager still handles the last one may be lost.
                if (!moved.isValid() || moved.elapsed() > 300) {
                    Form1->set_outer_size(QSize(436, 408));
                    Form1->move(within.topLeft() + QPoint(60, 60));
                    moved.start();
                }
                return false;
            }
            const QImage shown = grab_rect_cursor(false, ScreenRect::from_qrect(frame));
            if (differing(shown, desktop, frame.topLeft()) <= frame.width() * frame.height() / 2)
                return false;
            if (!opaque)
                return true;
            // Steady over more than two steps of a fade.
            if (sampled.isValid() && sampled.elapsed() < 40)
                return false;
            const bool steady = shown == before;
            before = shown;
            sampled.start();
            return steady;
        })) << "the main window does not show inside the region: its frame is "
            << x.frame_of(xcb_window_t(Form1->winId())).width() << "x"
            << x.frame_of(xcb_window_t(Form1->winId())).height() << " at ("
            << x.frame_of(xcb_window_t(Form1->winId())).x() << ", "
            << x.frame_of(xcb_window_t(Form1->winId())).y() << ")";
    }
};

TEST_F(CompositorX11Test, NoCaptureHoldsTheFadingMainWindow) {
    // The region remembered from an earlier selection, around the main window's place.
    const ScreenRect region{100, 60, 760, 620};
    Form5->x1->setText(QString::number(region.left));
    Form5->x2->setText(QString::number(region.right));
    Form5->y1->setText(QString::number(region.top));
    Form5->y2->setText(QString::number(region.bottom));
    Form5->memo_aera->setEnabled(true);
    Form5->memo_aera->setChecked(true);
    ASSERT_FALSE(Form1->Insere_curseur->isChecked());

    QStringList faults;
    QElapsedTimer timer;
    qint64 slowest = 0;
    for (int i = 0; i < 20; ++i) {
        // Hidden at once after it appears, or once it is wholly opaque (the longest fade-out).
        ASSERT_NO_FATAL_FAILURE(show_main_window(region.to_qrect(), i % 2 == 1));
        // Four in five are remembered-region captures, which grab with no wait at all; the
        // others are desktop captures with their 200 ms.
        const bool whole_desktop = i % 5 == 4;
        timer.start();
        if (whole_desktop)
            Form1->Capture_bureauClick();
        else
            Form1->Capture_selectionClick();
        slowest = std::max(slowest, timer.elapsed());

        const QImage& picture = Form1->Image1->picture();
        const QPoint at = whole_desktop ? QPoint(0, 0) : QPoint(region.left, region.top);
        const QSize size = whole_desktop ? desktop.size() : region.to_qrect().size();
        QRect box;
        int count = -1;
        if (picture.size() == size)
            count = differing(picture, desktop, at, &box);
        if (count != 0)
            faults.append(QStringLiteral("capture %1 (%2): %3 pixels not the desktop's, in %4x%5 "
                                         "at (%6, %7)")
                              .arg(i)
                              .arg(whole_desktop ? "desktop" : "remembered region")
                              .arg(count)
                              .arg(box.width())
                              .arg(box.height())
                              .arg(box.x())
                              .arg(box.y()));
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
    std::printf("slowest capture: %lld ms\n", static_cast<long long>(slowest));
}

TEST_F(CompositorX11Test, SlowWindowManagerIsWaitedFor) {
    // The window manager's process: the runner names it, openbox names itself too.
    pid_t wm = pid_t(qEnvironmentVariableIntValue("KAP_X11_WM_PID"));
    if (wm <= 0)
        wm = pid_t(x.root_cardinal("_OPENBOX_PID"));
    ASSERT_GT(wm, 0) << "the window manager's process is not known";
    ASSERT_EQ(kill(wm, 0), 0) << "the window manager is not running";
    const ScreenRect region{100, 60, 760, 620};
    Form5->x1->setText(QString::number(region.left));
    Form5->x2->setText(QString::number(region.right));
    Form5->y1->setText(QString::number(region.top));
    Form5->y2->setText(QString::number(region.bottom));
    Form5->memo_aera->setEnabled(true);
    Form5->memo_aera->setChecked(true);
    ASSERT_NO_FATAL_FAILURE(show_main_window(region.to_qrect(), true));

    // The window manager takes 400 ms to hear of the hide and take the frame away.
    ASSERT_EQ(kill(wm, SIGSTOP), 0);
    stopped_wm = wm;
    ASSERT_TRUE(QProcess::startDetached(
        QStringLiteral("sh"), {"-c", QStringLiteral("sleep 0.4; kill -CONT %1").arg(wm)}));
    Form1->Capture_selectionClick();
    kill(wm, SIGCONT);

    QRect box;
    ASSERT_EQ(Form1->Image1->picture().size(), region.to_qrect().size());
    EXPECT_EQ(differing(Form1->Image1->picture(), desktop, {region.left, region.top}, &box), 0)
        << "the frame, or the fading window, in " << box.width() << "x" << box.height() << " at ("
        << box.x() << ", " << box.y() << ")";
}

} // namespace
