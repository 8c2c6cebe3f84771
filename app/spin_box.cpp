#include "app/spin_box.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionSpinBox>
#include <algorithm>

namespace {

// The program's spin boxes are small (29 pixels for two digits, 47 for five): the arrows are
// drawn narrower and the frame thinner than the style's own, so that the text area holds the
// whole value in the program's font.
class NarrowSpinBoxStyle : public QProxyStyle {
public:
    static constexpr int kButtonWidth = 9;
    static constexpr int kFrame = 1;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override {
        if (control != CC_SpinBox)
            return QProxyStyle::subControlRect(control, option, sub, widget);
        const QRect r = option->rect;
        const int buttons_left = r.width() - kFrame - kButtonWidth;
        const int middle = r.height() / 2;
        switch (sub) {
        case SC_SpinBoxUp:
            return QRect(buttons_left, kFrame, kButtonWidth, middle - kFrame);
        case SC_SpinBoxDown:
            return QRect(buttons_left, middle, kButtonWidth, r.height() - middle - kFrame);
        case SC_SpinBoxEditField:
            // The style draws its frame line one pixel in from the top and bottom.
            return QRect(kFrame, kFrame + 1, buttons_left - kFrame, r.height() - 2 * kFrame - 2);
        default:
            return QProxyStyle::subControlRect(control, option, sub, widget);
        }
    }
};

QStyle* narrow_spin_box_style() {
    static QPointer<NarrowSpinBoxStyle> style;
    if (!style) {
        style = new NarrowSpinBoxStyle;
        style->setParent(QCoreApplication::instance()); // lives as long as the application
    }
    return style;
}

} // namespace

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
    setStyle(narrow_spin_box_style());
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    lineEdit()->setText(QStringLiteral("0"));
}

void KapSpinBox::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
}

void KapSpinBox::setMaxLength(int length) {
    // Not QLineEdit::setMaxLength: that one also cuts the text set by setValue().
    max_typed_ = std::max(0, length);
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
        // A typed character replaces the selection, if any; past the limit it is dropped.
        const QLineEdit* edit = lineEdit();
        const qsizetype kept = edit->text().size() - edit->selectedText().size();
        if (max_typed_ > 0 && kept + typed.size() > max_typed_) {
            event->accept();
            return;
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
