#include "tests/support/capture_fixture.h"

#include "app/spin_box.h"
#include "edit/history.h"
#include "resize/on_the_fly.h"

TEST(MulDivRounding, RoundsToTheNearestWithHalvesUp) {
    EXPECT_EQ(MulDiv(400, 300, 1000), 120);
    EXPECT_EQ(MulDiv(400, 301, 401), 300);             // 300.25
    EXPECT_EQ(MulDiv(3, 1, 2), 2);                     // 1.5
    EXPECT_EQ(MulDiv(100000, 100000, 100000), 100000); // the product needs 64 bits
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

using ResizeCommandTest = CaptureTest;

namespace {
void show_picture(int width, int height) {
    Form1->Image1->set_picture(position_pattern(QSize(width, height)));
    Form1->commands().history.start_again();
    Form1->commands().resize.resized = false;
}
} // namespace

TEST_F(ResizeCommandTest, ResizesToTheWidthWithTheProportionalHeightOnce) {
    show_picture(1000, 300);
    Form5->largeur_px->setValue(400);
    Form1->Redimen1Click();
    EXPECT_EQ(picture().size(), QSize(400, 120));
    EXPECT_EQ(Form1->commands().history.history().count(), 2); // the picture before and the result
    EXPECT_EQ(Form1->commands().history.history().at(0).size(), QSize(1000, 300));
    EXPECT_EQ(Form1->commands().history.history().at(1), picture());
    EXPECT_TRUE(Form1->commands().resize.resized);
    EXPECT_EQ(Form1->commands().resize.last_resize_width, 400);
    EXPECT_EQ(Form1->size(), narrow_client(380));

    Form1->Redimen1Click(); // same width: nothing
    EXPECT_EQ(Form1->commands().history.history().count(), 2);

    Form5->largeur_px->setValue(800); // resizes again, from the current picture
    Form1->Redimen1Click();
    EXPECT_EQ(picture().size(), QSize(800, 240));
    EXPECT_EQ(Form1->commands().history.history().count(), 3);
    EXPECT_EQ(Form1->size(), QSize(809, 367));
}

TEST_F(ResizeCommandTest, AZeroWidthIsToldAfterTheBookkeeping) {
    show_picture(200, 100);
    Form5->largeur_px->setValue(0);
    Form1->Redimen1Click();
    EXPECT_EQ(fake.messages, QStringList{"Vous avez sélectionner une largeur de 0 pixel !"});
    EXPECT_EQ(picture().size(), QSize(200, 100));
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    Form1->Redimen1Click(); // the same width again: nothing at all
    EXPECT_EQ(fake.messages.size(), 1);
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
}

TEST_F(ResizeCommandTest, AHeightRoundingToZeroFailsAndKeepsThePicture) {
    show_picture(1000, 1);
    const QImage before = picture();
    Form5->largeur_px->setValue(1);
    QMetaObject::invokeMethod(
        Form1, [] { Form1->Redimen1Click(); }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].contains("hors limites")) << fake.errors[0].toStdString();
    EXPECT_EQ(picture(), before);
}

TEST_F(ResizeCommandTest, AnEmptyPictureIsLeftAlone) {
    Form1->Redimen1Click();
    EXPECT_TRUE(Form1->commands().history.history().empty());
    EXPECT_FALSE(Form1->commands().resize.resized);
}
