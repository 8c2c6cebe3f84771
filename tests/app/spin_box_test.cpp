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

using TempoTest = AppTest;

TEST_F(TempoTest, LeavingTheDelayEmptySetsItToZero) {
    Form1->tempo->findChild<QLineEdit*>()->setText("");
    Form1->tempoExit();
    EXPECT_EQ(Form1->tempo->text_value(), "0");
    Form1->tempo->findChild<QLineEdit*>()->setText("35");
    Form1->tempoExit();
    EXPECT_EQ(Form1->tempo->text_value(), "20");
}
