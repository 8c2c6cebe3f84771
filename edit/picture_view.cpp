#include "edit/picture_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(true);
    resize(400, 252);
}

void PictureView::set_picture(QImage picture) {
    surface = DrawingSurface{};
    assign_pixels(std::move(picture));
}

void PictureView::assign_pixels(QImage picture) {
    // Pictures are held at 24 bits whatever they came from.
    if (!picture.isNull() && picture.format() != QImage::Format_BGR888)
        picture = picture.convertToFormat(QImage::Format_BGR888);
    picture_ = std::move(picture);
    // No picture takes no room: the scroll area shows no scroll bars around nothing.
    resize(is_empty() ? QSize(0, 0) : picture_.size());
    update();
}

void PictureView::picture_changed() {
    repaint();
}

void PictureView::paintEvent(QPaintEvent* event) {
    if (is_empty())
        return;
    QPainter painter(this);
    for (const QRect& area : event->region())
        painter.drawImage(area.topLeft(), picture_, area);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouse_down(event->button(), event->modifiers(), event->buttons(), false, p.x(), p.y());
}

void PictureView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouse_down(event->button(), event->modifiers(), event->buttons(), true, p.x(), p.y());
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouse_move(event->modifiers(), event->buttons(), p.x(), p.y());
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouse_up(event->button(), event->modifiers(), p.x(), p.y());
    if (event->button() == Qt::RightButton) {
        // Passed on to the window, which opens the menu when it may.
        QContextMenuEvent menu(QContextMenuEvent::Other, p, event->globalPosition().toPoint(),
                               event->modifiers());
        QApplication::sendEvent(this, &menu);
    }
}

void PictureView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Mouse) {
        event->accept(); // the press: the menu waits for the release
        return;
    }
    event->ignore();
}
