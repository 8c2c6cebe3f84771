#pragma once
#include <QAbstractSpinBox>

// An integer spin box that behaves as the program's spin boxes must:
// - typing accepts only digits, the signs + and -, the locale's decimal separator and control
//   keys other than Enter (pasting may still bring in any text);
// - value() is read from the text at the moment it is asked for; a text that is not a whole
//   number (empty, a lone sign, a decimal number) reads as the minimum;
// - setValue(), stepping with the arrows and losing the focus clamp the value into the range
//   and rewrite the text.
class KapSpinBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit KapSpinBox(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // The most characters the user may type into the box (0: no limit). Text the program sets,
    // and pasted text, are not cut: a value of 100 set by the program stays 100.
    void setMaxLength(int length);

    int value() const;
    void setValue(int value);
    QString text_value() const; // the text as it stands

    void stepBy(int steps) override;

signals:
    // Emitted after the focus has left the box and its value has been clamped.
    void exited();

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString&) const override {}
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int minimum_ = 0;
    int maximum_ = 100;
    int max_typed_ = 0;
};

// Reads a whole number the way the spin boxes do: decimal with an optional sign.
bool parse_whole_number(const QString& text, int* value);
