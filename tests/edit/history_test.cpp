#include "edit/working_files.h"
#include "tests/support/capture_fixture.h"

#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/history_commands.h"
#include "edit/raster.h"

#include <QFile>
#include <QLabel>

namespace {
// An edit: a coloured square drawn into the picture, then recorded as the tools do.
void edit(unsigned char value) {
    QImage& picture = Form1->Image1->picture_for_drawing();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            std::memset(picture.scanLine(y) + x * 3, value, 3);
    Form1->commands().history.push_snapshot();
}
} // namespace

using HistoryTest = CaptureTest;

TEST_F(HistoryTest, UndoRedoWalkTheListAndANewEditDropsTheUndoneSteps) {
    fake_screen.desktop = position_pattern(QSize(500, 300));
    fake_screen.primary_size = QSize(500, 300);
    Form1->Capture_bureauClick();
    const QImage capture = picture();
    edit(0x11);
    const QImage a = picture();
    edit(0x22);
    ASSERT_EQ(Form1->commands().history.history().count(), 3);
    ASSERT_EQ(Form1->commands().history.history_index(), 2);

    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), a);
    EXPECT_EQ(Form1->commands().history.history_index(), 1);
    EXPECT_TRUE(Form1->commands().history.undo_picture_reset());
    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), capture);
    EXPECT_EQ(Form1->commands().history.history_index(), 0);
    Form1->Dfaire1Click(); // at the first entry: nothing
    EXPECT_EQ(Form1->commands().history.history_index(), 0);

    Form1->Rfaire1Click();
    EXPECT_EQ(picture(), a);

    edit(0x44); // D replaces B, which was undone
    const QImage d = picture();
    EXPECT_EQ(Form1->commands().history.history().count(), 3);
    EXPECT_EQ(Form1->commands().history.history_index(), 2);
    Form1->Rfaire1Click(); // at the last entry: nothing
    EXPECT_EQ(picture(), d);
    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), a);
    Form1->Rfaire1Click();
    EXPECT_EQ(picture(), d);
}

TEST_F(HistoryTest, ResetBringsBackTheCaptureAsGrabbed) {
    Form1->Texte->setText("bonjour");
    Form1->reload_Click(); // nothing captured since start-up
    EXPECT_EQ(fake.messages, QStringList{"IL n'y a pas de capture en mémoire!"});
    EXPECT_TRUE(Form1->Texte->text().isEmpty());
    Form1->Dfaire1Click();
    Form1->Rfaire1Click();

    Form5->resize->setChecked(true);
    Form5->largeur_px->setValue(400);
    Form1->Capture_bureauClick();
    EXPECT_EQ(picture().size(), QSize(400, 320));
    // One entry: reset only empties the floating label.
    Form1->Texte->setText("x");
    Form1->reload_Click();
    EXPECT_EQ(picture().size(), QSize(400, 320));
    EXPECT_TRUE(Form1->Texte->text().isEmpty());

    edit(0x33);
    Form1->commands().resize.resized = true;
    Form1->commands().tools.state().snapshot_pending = true;
    Form1->reload_Click();
    EXPECT_EQ(picture(), fake_screen.desktop);
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    EXPECT_EQ(Form1->commands().history.history_index(), 0);
    EXPECT_FALSE(Form1->commands().resize.resized);
    EXPECT_FALSE(Form1->commands().tools.state().snapshot_pending);
    // The picture plus 9 x 76 would be larger than the screen: the window stops at its work
    // area, frame included, and the picture area scrolls.
    EXPECT_EQ(Form1->outer_size(), QSize(1280, 1024));
    EXPECT_EQ(read_bmp(temp_dir() + "kaptorama.bmp"), fake_screen.desktop);
}

TEST_F(HistoryTest, UndoStaysInTheListAfterAResetThatFoundNoCapture) {
    Form1->Capture_bureauClick();
    edit(1);
    edit(2);
    QFile::remove(grabbed_capture_file());
    Form1->reload_Click();
    EXPECT_TRUE(Form1->commands().history.history().empty());
    Form1->Dfaire1Click();
    Form1->Rfaire1Click();
    EXPECT_TRUE(fake.errors.isEmpty());
}

TEST_F(HistoryTest, AForeignOrDamagedCaptureFileIsRefusedOnReset) {
    Form1->Capture_bureauClick();
    edit(1);
    const QString path = grabbed_capture_file();
    QFile::remove(path);
    write_bmp(position_pattern(QSize(10, 10)), temp_dir() + "elsewhere.bmp");
    QFile::link(temp_dir() + "elsewhere.bmp", path);
    QTest::mouseClick(Form1->reload_, Qt::LeftButton);
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].startsWith("Impossible d'ouvrir le fichier"))
        << fake.errors[0].toStdString();

    // A new capture's file is written while it shows: wait for it before replacing it.
    Form1->Capture_bureauClick();
    edit(2);
    QFile::remove(grabbed_capture_file());
    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("BM\x10\x00\x00\x00garbage", 14);
    damaged.close();
    QTest::mouseClick(Form1->reload_, Qt::LeftButton);
    EXPECT_EQ(fake.errors.size(), 2);

    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(QFINDTESTDATA("history_test.cpp"), path));
    QTest::mouseClick(Form1->reload_, Qt::LeftButton);
    EXPECT_EQ(fake.errors.size(), 3);
}

TEST_F(HistoryTest, UndoAndRedoBringBackEachSideOfAResizeAtItsOwnSize) {
    Form1->Capture_bureauClick();
    const QImage capture = picture().copy();
    const QSize outer = Form1->outer_size();
    Form5->largeur_px->setValue(300);
    Form1->Redimen1Click();
    const QImage resized = picture().copy();
    ASSERT_EQ(resized.size(), QSize(300, 240));
    EXPECT_EQ(Form1->commands().history.history().count(), 2); // the capture was recorded already

    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), capture);
    EXPECT_EQ(Form1->Image1->size(), capture.size());
    EXPECT_EQ(Form1->outer_size(), outer); // fitted to the work area again
    Form1->Rfaire1Click();
    EXPECT_EQ(picture(), resized);
    EXPECT_EQ(Form1->size(), narrow_client(382));
    Form1->Redimen1Click(); // the same width again: nothing
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
    // Undone, the resize runs again at the same width, in place of the one undone.
    Form1->Dfaire1Click();
    Form1->Redimen1Click();
    EXPECT_EQ(picture(), resized);
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
}
