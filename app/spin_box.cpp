#include "app/spin_box.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <algorithm>

bool parse_whole_number(const QString& text, int* value) {
    bool ok = false;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    const int parsed = trimmed.toInt(&ok, 10);
    if (ok && value)
        *value = parsed;
    return ok;
}

KapSpinBox::KapSpinBox(QWidget* parent) : QAbstractSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    lineEdit()->setText(QStringLiteral("0"));
}

void KapSpinBox::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
}

void KapSpinBox::setMaxLength(int length) {
    lineEdit()->setMaxLength(length);
}

int KapSpinBox::value() const {
    int parsed = 0;
    if (!parse_whole_number(lineEdit()->text(), &parsed))
        return minimum_;
    return parsed;
}

void KapSpinBox::setValue(int value) {
    const int clamped = std::clamp(value, minimum_, maximum_);
    lineEdit()->setText(QString::number(clamped));
}

QString KapSpinBox::text_value() const {
    return lineEdit()->text();
}

void KapSpinBox::stepBy(int steps) {
    const long long next = static_cast<long long>(value()) + steps;
    setValue(static_cast<int>(std::clamp<long long>(next, minimum_, maximum_)));
}

QValidator::State KapSpinBox::validate(QString&, int&) const {
    // Any text may stand in the box (pasting is not filtered); it is read when needed.
    return QValidator::Acceptable;
}

void KapSpinBox::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool has_printable = !typed.isEmpty() && typed.at(0).isPrint();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    if (has_printable && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        const QString decimal = QLocale().decimalPoint();
        for (const QChar c : typed) {
            const bool allowed = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                                 c == QLatin1Char('+') || c == QLatin1Char('-') ||
                                 decimal.contains(c);
            if (!allowed) {
                event->accept();
                return;
            }
        }
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void KapSpinBox::focusOutEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusOutEvent(event);
    // Another window becoming active, or a menu opening, does not take the focus away from the
    // box within its window: only a move to another control counts as leaving it.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    setValue(value());
    emit exited();
}
