#include "edit/text_label.h"

#include <QMouseEvent>

TextLabel::TextLabel(QWidget* parent) : QLabel(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
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
