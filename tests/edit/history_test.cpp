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
    push_snapshot(*Form1);
}
} // namespace

using HistoryTest = CaptureTest;

TEST_F(HistoryTest, UndoRedoWalkTheListAndANewEditIsAppended) {
    fake_screen.desktop = position_pattern(QSize(500, 300));
    fake_screen.primary_size = QSize(500, 300);
    Form1->Capture_bureauClick();
    const QImage capture = picture();
    edit(0x11);
    const QImage a = picture();
    edit(0x22);
    const QImage b = picture();
    ASSERT_EQ(Form1->history->count(), 3);
    ASSERT_EQ(Form1->history_index, 2);

    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), a);
    EXPECT_EQ(Form1->history_index, 1);
    EXPECT_TRUE(Form1->undo_picture_reset);
    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), capture);
    EXPECT_EQ(Form1->history_index, 0);
    Form1->Dfaire1Click(); // at the first entry: nothing
    EXPECT_EQ(Form1->history_index, 0);

    Form1->Rfaire1Click();
    EXPECT_EQ(picture(), a);
    Form1->Dfaire1Click();

    edit(0x44); // D
    EXPECT_EQ(Form1->history->count(), 4);
    EXPECT_EQ(Form1->history_index, 3);
    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), b);
    Form1->Rfaire1Click();
    Form1->Rfaire1Click(); // at the last entry: nothing
    EXPECT_EQ(Form1->history_index, 3);
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
    Form1->resized = true;
    Form1->snapshot_pending = true;
    Form1->reload_Click();
    EXPECT_EQ(picture(), fake_screen.desktop);
    EXPECT_EQ(Form1->history->count(), 1);
    EXPECT_EQ(Form1->history_index, 0);
    EXPECT_FALSE(Form1->resized);
    EXPECT_FALSE(Form1->snapshot_pending);
    // The picture plus 9 x 76 would be larger than the screen: the window stops at its work
    // area, frame included, and the picture area scrolls.
    EXPECT_EQ(Form1->outer_size(), QSize(1280, 1024));
    EXPECT_EQ(read_bmp(temp_dir() + "kaptorama.bmp"), fake_screen.desktop);
}

TEST_F(HistoryTest, UndoStaysInTheListAfterAResetThatFoundNoCapture) {
    Form1->Capture_bureauClick();
    edit(1);
    edit(2);
    QFile::remove(temp_dir() + "kaptoramao.bmp");
    Form1->reload_Click();
    EXPECT_TRUE(Form1->history->empty());
    Form1->Dfaire1Click();
    Form1->Rfaire1Click();
    EXPECT_TRUE(fake.errors.isEmpty());
}

TEST_F(HistoryTest, AForeignOrDamagedCaptureFileIsRefusedOnReset) {
    Form1->Capture_bureauClick();
    edit(1);
    const QString path = temp_dir() + "kaptoramao.bmp";
    QFile::remove(path);
    write_bmp(position_pattern(QSize(10, 10)), temp_dir() + "elsewhere.bmp");
    QFile::link(temp_dir() + "elsewhere.bmp", path);
    QTest::mouseClick(Form1->reload_, Qt::LeftButton);
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].startsWith("Impossible d'ouvrir le fichier"))
        << fake.errors[0].toStdString();

    QFile::remove(path);
    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("BM\x10\x00\x00\x00garbage", 14);
    damaged.close();
    Form1->Capture_bureauClick();
    edit(2);
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(QFINDTESTDATA("history_test.cpp"), path));
    QTest::mouseClick(Form1->reload_, Qt::LeftButton);
    EXPECT_EQ(fake.errors.size(), 2);
}

TEST_F(HistoryTest, UndoAfterAResizePaintsTheOldEntryScaledIntoTheNewSize) {
    QImage source(4, 2, QImage::Format_BGR888);
    source.fill(QColor(0xF0, 0xF0, 0xF0));
    source.setPixelColor(1, 0, QColor(0x0F, 0xFF, 0xFF)); // ANDed with its neighbour
    Form1->Image1->set_picture(source);
    push_snapshot(*Form1);
    QImage resized(2, 1, QImage::Format_BGR888);
    resized.fill(Qt::black);
    Form1->Image1->set_picture(resized);
    push_snapshot(*Form1);
    Form1->Dfaire1Click();
    EXPECT_EQ(picture().size(), QSize(2, 1));
    EXPECT_EQ(picture().pixelColor(0, 0), QColor(0x00, 0xF0, 0xF0));
    EXPECT_EQ(picture().pixelColor(1, 0), QColor(0xF0, 0xF0, 0xF0));
}

TEST(StretchAnd, RepeatsWhenEnlargingAndAndsWhenShrinking) {
    QImage source(2, 1, QImage::Format_BGR888);
    source.setPixelColor(0, 0, QColor(0x12, 0x34, 0x56));
    source.setPixelColor(1, 0, QColor(0xF0, 0x0F, 0xFF));
    const QImage big = stretch_and(source, QSize(4, 3));
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(big.pixelColor(0, y), QColor(0x12, 0x34, 0x56));
        EXPECT_EQ(big.pixelColor(1, y), QColor(0x12, 0x34, 0x56));
        EXPECT_EQ(big.pixelColor(3, y), QColor(0xF0, 0x0F, 0xFF));
    }
    const QImage small = stretch_and(source, QSize(1, 1));
    EXPECT_EQ(small.pixelColor(0, 0), QColor(0x10, 0x04, 0x56));

    QImage target(1, 1, QImage::Format_BGR888);
    target.fill(QColor(0x0F, 0xFF, 0xF0));
    block_copy(target, small, CopyMode::And);
    EXPECT_EQ(target.pixelColor(0, 0), QColor(0x00, 0x04, 0x50));
}
