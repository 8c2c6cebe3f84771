#include "capture/Unit3.h"

#include "edit/picture_view.h"

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
    Image1 = new PictureView(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->move(0, 0);
}

void TForm3::resizeEvent(QResizeEvent*) {}
