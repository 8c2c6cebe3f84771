// The capture commands in a Wayland session (tests/run-under-wayland.sh: headless sway, the
// desktop portal with its wlroots back end): the program's own windows on Qt's Wayland platform,
// its real waits and the portal's screenshots. The compositor's background shows a picture of
// known pixels, and nothing else is on the screen while the program's windows are hidden.

#include "tests/support/fake_dialogs.h"
#include "tests/support/test_pictures.h"
#include "tests/support/waits.h"

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/kap_application.h"
#include "app/spin_box.h"
#include "app/startup.h"
#include "app/status_bar.h"
#include "capture/Unit3.h"
#include "capture/capture_commands.h"
#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/picture_view.h"
#include "edit/working_files.h"
#include "platform/core/temp_dir.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "platform/tool_cursors.h"
#include "platform/wayland/wayland_screen.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// Number of pixels where the two pictures differ (sizes must match), the first one described.
int differing(const QImage& a, const QImage& b, QString* where) {
    if (a.size() != b.size()) {
        *where = QStringLiteral("sizes differ");
        return -1;
    }
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y) && count++ == 0)
                *where = QStringLiteral("first at (%1, %2): %3 instead of %4")
                             .arg(x)
                             .arg(y)
                             .arg(a.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                             .arg(b.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    return count;
}

bool run(const QString& program, const QStringList& arguments, QByteArray* out = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000) || !process.waitForFinished(10000))
        return false;
    if (out)
        *out = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// What the output shows now, read with grim straight from the compositor.
QImage output_now() {
    QByteArray png;
    if (!run(QStringLiteral("grim"), {QStringLiteral("-")}, &png))
        return {};
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_BGR888);
}

// With KAP_WAYLAND_SHOT_DIR set (a folder outside /tmp, which the session has of its own), what
// the output shows is saved there under `name`, to be looked at.
void keep_output_for_eyes(const char* name) {
    const QString dir = qEnvironmentVariable("KAP_WAYLAND_SHOT_DIR");
    if (dir.isEmpty())
        return;
    QTest::qWait(500); // the main window drawn again
    output_now().save(QDir(dir).filePath(QString::fromLatin1(name)), "PNG");
}

// The file the wlroots back end writes every screenshot to.
const QString kBackEndFile = QStringLiteral("/tmp/out.png");

class CaptureWaylandTest : public ::testing::Test {
protected:
    FakeDialogs dialogs_;
    QImage background;

    static const QImage& picture() { return Form1->Image1->picture(); }

    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
        const QSize size = QGuiApplication::primaryScreen()->geometry().size();
        // Red never 0: a black pixel is one the capture did not fill.
        background = position_pattern_never_black(size);
        const QString file = QDir(temp_dir()).filePath(QStringLiteral("background.png"));
        ASSERT_TRUE(background.save(file, "PNG"));
        ASSERT_TRUE(
            run(QStringLiteral("swaymsg"), {QStringLiteral("output"), QStringLiteral("*"),
                                            QStringLiteral("bg"), file, QStringLiteral("center")}));
        QString where;
        ASSERT_TRUE(
            wait_until([&] { return differing(output_now(), background, &where) == 0; }, 8000, 100))
            << "the background is not on the output: " << where.toStdString();

        set_dialogs(&dialogs_);
        create_windows();
        Form5->resize->setChecked(false);
        Form1->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
        // The main window covers part of the background now.
        ASSERT_TRUE(
            wait_until([&] { return differing(output_now(), background, &where) > 0; }, 5000, 100));
    }

    void TearDown() override {
        destroy_windows();
        set_dialogs(nullptr);
        EXPECT_TRUE(dialogs_.errors.isEmpty())
            << dialogs_.errors.join(QLatin1Char('|')).toStdString();
    }
};

TEST_F(CaptureWaylandTest, DesktopCaptureHasTheScreenExactlyAndRemovesThePortalsFile) {
    Form1->Capture_bureauClick();

    QString where;
    EXPECT_EQ(differing(picture(), background, &where), 0) << where.toStdString();
    EXPECT_EQ(read_bmp(grabbed_capture_file()), picture());
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_FALSE(QFile::exists(kBackEndFile)) << "the portal's file was left behind";
    keep_output_for_eyes("desktop-capture.png");
}

TEST_F(CaptureWaylandTest, RegionDraggedOnTheOverlayHasTheScreensPixels) {
    Form1->Capture_selectionClick();
    ASSERT_TRUE(Form3->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form3));
    EXPECT_FALSE(Form1->isVisible());
    QString where;
    EXPECT_EQ(differing(Form3->captured_bitmap, background, &where), 0)
        << "frozen screen: " << where.toStdString();
    // Full screen, the frozen picture at its top-left corner: what the user sees is what is cut.
    EXPECT_TRUE(wait_until([] { return Form3->size() == Form3->captured_bitmap.size(); }))
        << Form3->width() << "x" << Form3->height();
    EXPECT_EQ(Form3->Image1->pos(), QPoint(0, 0));

    // Press at (300, 200), drag up and left with the button held, release at (100, 50).
    QTest::mousePress(Form3->Image1, Qt::LeftButton, {}, QPoint(300, 200));
    QTest::mouseMove(Form3->Image1, QPoint(200, 120));
    QTest::mouseMove(Form3->Image1, QPoint(100, 50));
    EXPECT_EQ(Form3->band_corner, QPoint(100, 50));
    // On the output: the frozen screen at its place, the band inverted over it.
    EXPECT_TRUE(wait_until(
        [&] { return differing(output_now(), Form3->shown_pixels(), &where) == 0; }, 5000, 100))
        << where.toStdString();
    keep_output_for_eyes("region-overlay.png");
    QTest::mouseRelease(Form3->Image1, Qt::LeftButton, {}, QPoint(100, 50));

    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(differing(picture(), background.copy(100, 50, 200, 150), &where), 0)
        << where.toStdString();
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    keep_output_for_eyes("region-capture.png");

    // The remembered region is grabbed again from the same place, without the overlay.
    Form5->memo_aera->setChecked(true);
    Form1->Image1->set_picture(QImage());
    Form1->Capture_selectionClick();
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(differing(picture(), background.copy(100, 50, 200, 150), &where), 0)
        << where.toStdString();
    EXPECT_FALSE(QFile::exists(kBackEndFile));
}

TEST_F(CaptureWaylandTest, WindowCaptureAndPointerSayOnceWhatTheSessionCannotDo) {
    // The pointer: the toggle still sets the delay, and the status bar says why there is none.
    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    EXPECT_TRUE(Form1->commands().capture.with_cursor());
    EXPECT_EQ(Form1->tempo->value(), 3);
    EXPECT_EQ(Form1->StatusBar1->panel_text(StatusPanel::Notice), kNoPointerText);
    Form1->tempo->setValue(0);

    // This back end has no interactive tool here (no slurp): the whole display, and a word.
    Form1->Capture_fenetreClick();
    QString where;
    EXPECT_EQ(differing(picture(), background, &where), 0) << where.toStdString();
    EXPECT_EQ(Form1->StatusBar1->panel_text(StatusPanel::Notice), kWholeDisplayText);
    EXPECT_TRUE(Form1->isVisible());
    keep_output_for_eyes("window-capture.png");

    // Said once: a second time leaves the status bar alone.
    Form1->StatusBar1->set_panel_text(StatusPanel::Notice, QString());
    Form1->Capture_fenetreClick();
    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    EXPECT_TRUE(Form1->StatusBar1->panel_text(StatusPanel::Notice).isEmpty());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "wayland");
    KapApplication app(argc, argv);
    init_resources();
    if (!dynamic_cast<WaylandScreen*>(&screen())) {
        fprintf(stderr, "the program did not choose its Wayland screen in this session\n");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
