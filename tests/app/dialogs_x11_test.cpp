// Every dialog and message box of the program shows above all of its windows, the stay-on-top
// main window filling the screen included, and takes the keyboard: checked in the window
// manager's own stacking order on a real X server (Xvfb with openbox), with Qt's real dialogs.

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/spin_box.h"
#include "app/startup.h"
#include "edit/picture_view.h"
#include "edit/working_files.h"
#include "platform/dialogs.h"
#include "tests/support/test_pictures.h"
#include "tests/support/waits.h"
#include "tests/support/x_desktop.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

class DialogsX11Test : public ::testing::Test {
protected:
    XDesktop x;
    QTemporaryDir temp;
    QByteArray old_tmpdir;

    void SetUp() override {
        ASSERT_TRUE(x.ok()) << "no X server";
        old_tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        create_windows();
        Form5->resize->setChecked(false);
        Form1->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
        ASSERT_TRUE(wait_until([] { return !Form1->frame_margins().isNull(); }));
        // A desktop capture leaves the main window over the whole screen, on top.
        Form1->Capture_bureauClick();
        ASSERT_TRUE(wait_until([&] {
            return x.frame_of(xcb_window_t(Form1->winId())).size() == x.root_size();
        })) << "the main window did not fill the screen";
    }
    void TearDown() override {
        destroy_windows();
        if (old_tmpdir.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", old_tmpdir);
    }

    // Index of a top-level window in the window manager's stacking order (bottom first), -1 when
    // it is not there.
    int stack_index(const QWidget* window) {
        const std::vector<xcb_window_t> order = x.stacking();
        const auto it = std::find(order.begin(), order.end(), xcb_window_t(window->winId()));
        return it == order.end() ? -1 : int(it - order.begin());
    }

    // Runs `open`, which shows a modal dialog; once the dialog is on the screen, checks that it is
    // above every other shown window of the program and is the active window, then closes it.
    void expect_in_front(const std::function<void()>& open, const char* what,
                         const std::function<void(QWidget*)>& more = {}) {
        SCOPED_TRACE(what);
        bool seen = false;
        // Looks every few milliseconds, from within the dialog's own event loop, for the modal
        // dialog on the screen; never blocks, so the command that opens it can run meanwhile.
        QElapsedTimer waited;
        waited.start();
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            const bool up = dialog && dialog->windowHandle() &&
                            dialog->windowHandle()->isExposed() &&
                            x.active_window() == xcb_window_t(dialog->winId());
            if (!up && waited.elapsed() < 10000)
                return;
            poll.stop();
            if (!dialog)
                return;
            seen = true;
            EXPECT_TRUE(up) << "the dialog did not take the keyboard";
            const int at = stack_index(dialog);
            for (QWidget* other : QApplication::topLevelWidgets()) {
                if (other == dialog || !other->isVisible() || other->isAncestorOf(dialog))
                    continue;
                if (stack_index(other) >= 0) {
                    EXPECT_GT(at, stack_index(other))
                        << "under " << other->objectName().toStdString();
                }
            }
            if (more)
                more(dialog);
            dialog->close();
        });
        poll.start();
        open();
        poll.stop();
        EXPECT_TRUE(seen) << "no dialog was shown";
    }

    // The middle of a window's frame, in root coordinates.
    QPoint frame_centre(const QWidget* window) {
        return x.frame_of(xcb_window_t(window->winId())).center();
    }
};

TEST_F(DialogsX11Test, SaveDialogAndMessageBoxesOverTheFullScreenMainWindow) {
    expect_in_front([] { Form1->save_Click(); }, "file-save dialog");

    // "Redimensionner" with a width of 0 tells so in a message box, centred on the screen.
    Form5->largeur_px->setValue(0);
    expect_in_front([] { Form1->Redimen1Click(); }, "resize message",
                    [&](QWidget* box) {
                        const QPoint centre =
                            QPoint(x.root_size().width(), x.root_size().height()) / 2;
                        EXPECT_LE((frame_centre(box) - centre).manhattanLength(), 30);
                    });

    // A capture that fails (a folder stands where the capture file must go) shows the error box.
    QFile::remove(grabbed_capture_file());
    ASSERT_TRUE(QDir(temp.path()).mkdir(QStringLiteral("kaptoramao.bmp")));
    expect_in_front(
        [] {
            QTest::mouseClick(Form1->Capture_bureau, Qt::LeftButton);
            grabbed_capture_file(); // the file is written while the capture shows
            QCoreApplication::processEvents();
        },
        "error box of a failed capture");
}

TEST_F(DialogsX11Test, ConfigurationWindowBoxesAndFolderDialogOverIt) {
    Form5->show_non_modal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form5));
    expect_in_front([] { Form5->dossier_rafaleClick(); }, "folder dialog");
    EXPECT_TRUE(wait_until([] { return Form5->isActiveWindow(); }))
        << "the keyboard did not go back to the configuration window";

    // Closing with automatic saving ticked and no name: the validation box stays over the window.
    Form5->mode_rafale->setChecked(true);
    Form5->rep_enregitr->setText(temp.path()); // a folder is chosen: one box only
    expect_in_front([] { Form5->Button1->click(); }, "validation box");
    EXPECT_TRUE(Form5->isVisible());
}

} // namespace

namespace {

TEST_F(DialogsX11Test, MainWindowKeepsItsNativeWindowAndItsMinimumOuterSize) {
    const WId native = Form1->winId();
    const QWindow* handle = Form1->windowHandle();
    Form5->show_non_modal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form5));
    Form5->close();
    Form5->largeur_px->setValue(200);
    Form1->Redimen1Click(); // shows and hides the progress window
    EXPECT_TRUE(wait_until([] { return Form1->is_stay_on_top(); }));
    EXPECT_EQ(Form1->winId(), native);
    EXPECT_EQ(Form1->windowHandle(), handle);

    // However small it is asked to be, the window's outer size stays at least 442 x 165.
    Form1->set_outer_size(QSize(100, 100));
    QRect frame;
    EXPECT_TRUE(wait_until([&] {
        frame = x.frame_of(xcb_window_t(Form1->winId()));
        return frame.width() == 442 && frame.height() == 165;
    })) << frame.width()
        << " x " << frame.height();
}

} // namespace
