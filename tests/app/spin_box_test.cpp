#include "tests/support/app_fixture.h"

#include "app/spin_box.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

namespace {
struct SpinFixture : ::testing::Test {
    QWidget window;
    KapSpinBox* box = new KapSpinBox(&window);
    QLineEdit* other = new QLineEdit(&window);
    void SetUp() override {
        box->setRange(0, 20);
        box->setMaxLength(2);
        box->setValue(0);
        other->move(0, 40);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QLineEdit* edit() { return box->findChild<QLineEdit*>(); }
    void type(const QString& text) {
        box->setFocus();
        edit()->selectAll();
        QTest::keyClick(edit(), Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    void leave() {
        other->setFocus();
        QApplication::processEvents();
    }
};
} // namespace

using SpinBoxRules = SpinFixture;

TEST_F(SpinBoxRules, TypingAcceptsOnlyDigitsSignsAndTheDecimalSeparator) {
    type("a1b");
    EXPECT_EQ(box->text_value(), "1");
    type("-5");
    EXPECT_EQ(box->text_value(), "-5");
    type("+7x");
    EXPECT_EQ(box->text_value(), "+7");
    // At most two characters.
    type("123");
    EXPECT_EQ(box->text_value(), "12");
}

TEST_F(SpinBoxRules, TextThatIsNotAWholeNumberReadsAsTheMinimum) {
    box->setRange(3, 20);
    for (const char* text : {"", "-", "+", "1,5", "1.5"}) {
        box->findChild<QLineEdit*>()->setText(QString::fromLatin1(text)); // pasting brings anything
        EXPECT_EQ(box->value(), 3) << text;
    }
    box->findChild<QLineEdit*>()->setText("17");
    EXPECT_EQ(box->value(), 17);
    // Read as it stands: clamping waits for the box to be left.
    box->findChild<QLineEdit*>()->setText("99");
    EXPECT_EQ(box->value(), 99);
}

TEST_F(SpinBoxRules, SettingSteppingAndLeavingClampIntoTheRange) {
    box->setValue(50);
    EXPECT_EQ(box->text_value(), "20");
    box->stepBy(1);
    EXPECT_EQ(box->value(), 20);
    box->setValue(0);
    box->stepBy(-1);
    EXPECT_EQ(box->text_value(), "0");
    box->stepBy(3);
    EXPECT_EQ(box->text_value(), "3");

    type("25");
    EXPECT_EQ(box->value(), 25);
    int exits = 0;
    QObject::connect(box, &KapSpinBox::exited, [&] { ++exits; });
    leave();
    EXPECT_EQ(box->text_value(), "20");
    EXPECT_EQ(exits, 1);

    type("");
    leave();
    EXPECT_EQ(box->text_value(), "0");
}

TEST_F(SpinBoxRules, TheTypingLimitDoesNotCutValuesTheProgramSets) {
    box->setRange(1, 100);
    box->setValue(100);
    EXPECT_EQ(box->text_value(), "100");
    box->setValue(99);
    box->stepBy(1);
    EXPECT_EQ(box->text_value(), "100");
    EXPECT_EQ(box->value(), 100);
    // Typing over a selection replaces it; a third typed character is still dropped.
    type("7");
    EXPECT_EQ(box->text_value(), "7");
    QTest::keyClicks(box, "56");
    EXPECT_EQ(box->text_value(), "75");
    edit()->selectAll();
    QTest::keyClicks(box, "4");
    EXPECT_EQ(box->text_value(), "4");
}

using TempoTest = AppTest;

TEST_F(TempoTest, LeavingTheDelayEmptySetsItToZero) {
    Form1->tempo->findChild<QLineEdit*>()->setText("");
    Form1->tempoExit();
    EXPECT_EQ(Form1->tempo->text_value(), "0");
    Form1->tempo->findChild<QLineEdit*>()->setText("35");
    Form1->tempoExit();
    EXPECT_EQ(Form1->tempo->text_value(), "20");
}

using SpinBoxLayout = AppTest;

TEST_F(SpinBoxLayout, EveryBoxShowsItsWholeValueInItsDesignedSize) {
    // The boxes lay out their text area when shown.
    Form1->show();
    Form1->Panel_tempo->show();
    Form5->show_non_modal();
    QApplication::processEvents();
    struct Case {
        KapSpinBox* box;
        QSize size;
        QString widest; // the widest value the box must show whole
    };
    const Case cases[] = {
        {Form1->tempo, {29, 22}, "20"},
        {Form5->size_stylet, {41, 22}, "10"},
        {Form5->size_surligneur, {41, 22}, "88"},
        {Form5->largeur_px, {47, 22}, "10000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box->objectName().toStdString() + " " + c.widest.toStdString());
        EXPECT_EQ(c.box->size(), c.size);
        const QLineEdit* edit = c.box->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        // The line edit keeps 2 pixels each side and a pixel for the cursor.
        const int room = edit->contentsRect().width() - 4 - 1;
        EXPECT_GE(room, edit->fontMetrics().horizontalAdvance(c.widest));
        EXPECT_EQ(edit->font().family(), "Liberation Sans");
        EXPECT_EQ(edit->font().pixelSize(), 11);
        // The text area lies inside the box, left of the arrows.
        EXPECT_GE(edit->geometry().left(), 0);
        EXPECT_LE(edit->geometry().right(), c.size.width() - 1 - 8);
    }
}
