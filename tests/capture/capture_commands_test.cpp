// The capture commands driven through a main window without widgets: what they do to the window
// and the picture, in which order, and what a failure leaves behind.

#include "capture/capture_commands.h"
#include "edit/working_files.h"
#include "platform/core/error.h"
#include "platform/wait.h"
#include "resize/resize_command.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_main_window.h"
#include "tests/support/fake_screen.h"
#include "tests/support/test_pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class FakeOverlay : public RegionOverlay {
public:
    QImage frozen;
    ScreenRect desktop;
    bool shown = false;
    void start_selection(QImage picture, const ScreenRect& rect) override {
        frozen = std::move(picture);
        desktop = rect;
        shown = true;
    }
    const QImage& frozen_screen() const override { return frozen; }
    void hide_overlay() override { shown = false; }
    void end_selection() override {
        shown = false;
        frozen = QImage();
    }
};

class CaptureCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        old_tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        set_screen(&screen);
        set_dialogs(&dialogs);
        set_waiter([this](int ms) { waits.push_back(ms); });
        screen.on_grab = [this](const ScreenRect&) { visible_at_grab.push_back(window.visible); };
    }
    void TearDown() override {
        grabbed_capture_file(); // a write still going on ends before its folder goes
        QCoreApplication::processEvents();
        set_dialogs(nullptr);
        set_waiter({});
        set_screen(nullptr);
        if (old_tmpdir.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", old_tmpdir);
    }

    QTemporaryDir temp;
    QByteArray old_tmpdir;
    FakeScreen screen{position_pattern(QSize(1280, 1024))};
    FakeEditing editing;
    FakeMainWindow& window = editing.window;
    HistoryCommands& history = editing.history;
    FakeOverlay overlay;
    FakeDialogs dialogs;
    ResizeCommand resize{window, window, window, window, history};
    CaptureCommands capture{window, window, window, window, history, resize, editing.tool_commands,
                            overlay};
    std::vector<int> waits;
    std::vector<bool> visible_at_grab;
};

TEST_F(CaptureCommandsTest, DesktopCaptureHidesTheWindowForTheGrabAndStartsANewHistory) {
    window.picture_ = position_pattern(QSize(20, 20));
    history.push_snapshot();
    history.push_snapshot();
    resize.resized = true;
    capture.cursor_toggled(true); // the delay box offers 3 seconds
    EXPECT_TRUE(window.delay_panel);

    capture.capture_desktop();
    EXPECT_EQ(waits, std::vector<int>{3200});
    EXPECT_EQ(visible_at_grab, std::vector<bool>{false});
    EXPECT_TRUE(window.visible);
    EXPECT_FALSE(window.delay_panel);
    EXPECT_FALSE(resize.resized);
    EXPECT_EQ(window.picture_, screen.desktop);
    EXPECT_EQ(history.history().count(), 1);
    EXPECT_EQ(history.history_index(), 0);
    EXPECT_EQ(window.work_area_fits, 1);
    EXPECT_EQ(window.cursor, "feutre_jaune"); // the active tool's cursor
    EXPECT_TRUE(QFileInfo::exists(grabbed_capture_file()));
}

TEST_F(CaptureCommandsTest, ActiveWindowFitsTheWindowToThePictureWhileStillHidden) {
    screen.foreground = ScreenRect{100, 50, 700, 450}; // 600 x 400
    capture.capture_active_window();
    EXPECT_EQ(window.client, QSize(610, 476));
    EXPECT_EQ(window.centrings, 2); // before the wait, and once fitted
    EXPECT_EQ(window.picture_.size(), QSize(600, 400));

    screen.foreground = ScreenRect{0, 0, 300, 200};
    capture.capture_active_window();
    EXPECT_EQ(window.client, QSize(428, 380));
    EXPECT_EQ(window.centrings, 3); // a narrow picture leaves the window where it is
    EXPECT_EQ(visible_at_grab, (std::vector<bool>{false, false}));
}

TEST_F(CaptureCommandsTest, RegionIsCutFromTheFrozenScreenAndRemembered) {
    capture.capture_region();
    ASSERT_TRUE(overlay.shown);
    EXPECT_FALSE(window.visible) << "hidden until the selection ends";
    capture.region_released(QPoint(300, 200), QPoint(100, 50));
    EXPECT_FALSE(overlay.shown);
    EXPECT_TRUE(window.visible);
    ASSERT_EQ(window.remembered.size(), 1u);
    EXPECT_EQ(window.remembered[0], (ScreenRect{100, 50, 300, 200}));
    EXPECT_EQ(window.picture_, screen.desktop.copy(100, 50, 200, 150));
    EXPECT_EQ(window.client, QSize(428, 382));
    EXPECT_EQ(window.view, QSize(200, 150));

    // The remembered region, cursor toggle up: no wait at all.
    waits.clear();
    window.snapshot.use_remembered_region = true;
    window.snapshot.remembered_region = window.remembered[0];
    capture.capture_region();
    EXPECT_TRUE(waits.empty());
    EXPECT_EQ(visible_at_grab.back(), false);
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(history.history().count(), 1);
}

TEST_F(CaptureCommandsTest, AFailedCaptureShowsTheWindowAgainAndTakesTheOverlayDown) {
    // A folder stands where the grabbed capture file must go: it cannot be written.
    ASSERT_TRUE(QDir(temp.path()).mkdir(QStringLiteral("kaptoramao.bmp")));

    // The file is written while the capture shows: its failure comes to the error box once the
    // write has ended, and the capture stays, shown and recorded.
    const auto error_reported = [this] {
        grabbed_capture_file();
        QCoreApplication::processEvents();
        const bool reported = dialogs.errors.size() == 1 &&
                              dialogs.errors.front().contains(QStringLiteral("kaptoramao.bmp"));
        dialogs.errors.clear();
        return reported;
    };
    capture.capture_desktop();
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.picture_, screen.desktop);
    EXPECT_EQ(history.history().count(), 1);
    EXPECT_TRUE(error_reported());

    capture.capture_region();
    capture.region_released(QPoint(10, 10), QPoint(50, 40));
    EXPECT_FALSE(overlay.shown);
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.picture_.size(), QSize(40, 30));
    EXPECT_TRUE(error_reported());

    window.snapshot.use_remembered_region = true;
    window.snapshot.remembered_region = ScreenRect{0, 0, 10, 10};
    capture.capture_region();
    EXPECT_TRUE(window.visible);
    EXPECT_TRUE(error_reported());
}

// A session that keeps the pointer and the foreground window from the program (Wayland).
TEST_F(CaptureCommandsTest, WithoutPointerOrWindowTheStatusBarSaysSoOnceAndCapturesGoOn) {
    screen.cursor_reportable = false;
    screen.window_reportable = false;
    screen.foreground = ScreenRect{10, 10, 50, 50}; // never asked for in such a session

    // The toggle still sets the delay; the word comes once.
    capture.cursor_toggled(true);
    EXPECT_EQ(window.delay_seconds(), 3);
    EXPECT_EQ(window.status[3], kNoPointerText);
    window.status[3].clear();
    capture.cursor_toggled(false);
    capture.cursor_toggled(true);
    EXPECT_TRUE(window.status[3].isEmpty());

    // No pick offered: the whole display, after the usual wait, with the word once.
    capture.capture_active_window();
    EXPECT_EQ(waits, std::vector<int>{3200});
    EXPECT_EQ(window.picture_, screen.desktop);
    EXPECT_EQ(window.status[3], kWholeDisplayText);
    EXPECT_EQ(history.history().count(), 1);

    // A pick offered: its picture, whatever its size, and its own word once.
    const QImage picked = window_pattern(QSize(300, 200), 4);
    screen.pick = [&] { return std::optional<QImage>(picked); };
    const size_t grabs = screen.grabs.size();
    capture.capture_active_window();
    EXPECT_EQ(screen.grabs.size(), grabs) << "the screen itself is not grabbed";
    EXPECT_EQ(window.picture_, picked);
    EXPECT_EQ(window.status[3], kWindowPickText);
    EXPECT_TRUE(window.visible);
}

TEST_F(CaptureCommandsTest, ACancelledPickLeavesThePictureAsItWas) {
    screen.window_reportable = false;
    const QImage before = position_pattern(QSize(40, 30));
    window.picture_ = before;
    screen.pick = []() -> std::optional<QImage> {
        throw KapError(QStringLiteral("Capture d'écran annulée"));
    };
    EXPECT_THROW(capture.capture_active_window(), KapError);
    EXPECT_EQ(window.picture_, before);
    EXPECT_TRUE(window.visible) << "the main window comes back";
    EXPECT_FALSE(QFileInfo::exists(grabbed_capture_file()));
}

} // namespace
