#include "edit/text_label.h"

#include "edit/raster.h"

#include <QMouseEvent>
#include <QPainter>

TextLabel::TextLabel(QWidget* parent) : QLabel(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void TextLabel::fit_to_text() {
    const QRect box = text_box(text(), font());
    origin_ = -box.topLeft();
    resize(box.size());
    update();
}

void TextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint_text(painter, origin_, text(), font(), palette().color(QPalette::WindowText));
}

void TextLabel::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouse_down(event->button(), p.x(), p.y());
}

void TextLabel::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouse_move(p.x(), p.y());
}

void TextLabel::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouse_up(event->button(), p.x(), p.y());
}

void TextLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    emit double_clicked();
}
