#include "edit/Unit4.h"

#include "platform/stay_on_top.h"
#include "platform/window_placement.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TForm4* Form4 = nullptr;

namespace {
QFont ms_sans_serif(int pixel_height) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(pixel_height);
    return font;
}
} // namespace

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Insérer du texte"));
    setFixedSize(237, 61);
    setFont(ms_sans_serif(11));
    Label1 = new QLabel(QStringLiteral("Texte à insérer  :"), this);
    Label1->move(3, 1);
    Label1->adjustSize();
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(3, 17, 146, 21);
    Style_texte = new QPushButton(QStringLiteral("&Style du texte"), this);
    Style_texte->setGeometry(156, 8, 75, 20);
    Style_texte->setFont(ms_sans_serif(5));
    OK = new QPushButton(QStringLiteral("&Ok"), this);
    OK->setGeometry(156, 34, 75, 20);
    setTabOrder(Edit1, Style_texte);
    setTabOrder(Style_texte, OK);

    style_.font = ms_sans_serif(11);
    const QColor text = palette().color(QPalette::WindowText);
    style_.colour =
        unsigned(text.red()) | unsigned(text.green()) << 8 | unsigned(text.blue()) << 16;

    // The dialog sees the key presses before its controls do.
    for (QWidget* control : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Style_texte),
                             static_cast<QWidget*>(OK)})
        control->installEventFilter(this);
    connect(Style_texte, &QPushButton::clicked, this, &TForm4::Style_texteClick);
    connect(OK, &QPushButton::clicked, this, &TForm4::OKClick);
}

void TForm4::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TForm4::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    FormHide();
}

bool TForm4::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            FormKeyPress(13);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm4::FormShow() {
    secondary_window_visibility(this, true);
    if (!positioned_) { // centred on the desktop the first time; then where the user left it
        positioned_ = true;
        centre_window(this, window_frame(this));
    }
    activateWindow();
    Edit1->setFocus();
}

void TForm4::FormHide() {
    secondary_window_visibility(this, false);
}

void TForm4::FormKeyPress(int key) {
    if (key == 13)
        OKClick();
}

void TForm4::Style_texteClick() {
    if (const std::optional<FontChoice> chosen = dialogs().choose_font(this, style_)) {
        style_ = *chosen;
        // The field takes the chosen face and style at the dialog's own size: a large font
        // would not fit its height.
        QFont shown = style_.font;
        shown.setPixelSize(font().pixelSize());
        Edit1->setFont(shown);
    }
    // Confirmed or not, the label takes the style the dialog holds now.
    emit label_style_chosen(style_.font, style_.colour);
}

void TForm4::OKClick() {
    hide();
    emit ok_confirmed();
}
