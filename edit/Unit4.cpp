#include "edit/Unit4.h"

#include "platform/stay_on_top.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Insérer du texte"));
    setFixedSize(237, 61);
    Label1 = new QLabel(QStringLiteral("Texte à insérer  :"), this);
    Label1->move(3, 1);
    Label1->adjustSize();
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(3, 17, 146, 21);
    Style_texte = new QPushButton(QStringLiteral("&Style du texte"), this);
    Style_texte->setGeometry(156, 8, 75, 20);
    OK = new QPushButton(QStringLiteral("&Ok"), this);
    OK->setGeometry(156, 34, 75, 20);
}

void TForm4::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TForm4::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    FormHide();
}

void TForm4::FormShow() {
    secondary_window_visibility(this, true);
    Edit1->setFocus();
}

void TForm4::FormHide() {
    secondary_window_visibility(this, false);
}
