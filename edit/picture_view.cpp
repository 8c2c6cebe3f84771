#include "edit/picture_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QSysInfo>

#include <cmath>
#include <cstring>

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

namespace {

// One row of 24-bit pixels (B, G, R bytes) as opaque 32-bit pixels 0xFFRRGGBB.
void bgr888_to_argb32(const uchar* from, quint32* to, int count) {
    int x = 0;
    // Four pixels (12 bytes) at a time, read as three words: [B0 G0 R0 B1] [G1 R1 B2 G2] ...
    for (; x + 4 <= count; x += 4, from += 12, to += 4) {
        quint32 a, b, c;
        std::memcpy(&a, from, 4);
        std::memcpy(&b, from + 4, 4);
        std::memcpy(&c, from + 8, 4);
        if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            to[0] = 0xFF000000u | (a & 0x00FFFFFFu);
            to[1] = 0xFF000000u | (a >> 24) | ((b & 0x0000FFFFu) << 8);
            to[2] = 0xFF000000u | (b >> 16) | ((c & 0x000000FFu) << 16);
            to[3] = 0xFF000000u | (c >> 8);
        } else {
            break;
        }
    }
    for (; x < count; ++x, from += 3)
        *to++ = 0xFF000000u | quint32(from[2]) << 16 | quint32(from[1]) << 8 | from[0];
}

// Where the painter draws straight into a 32-bit raster at a whole-pixel offset (the window's
// backing store, at scale 1), that raster and the offset; else null. Qt converts 24-bit pictures
// pixel by pixel through its general path, which at 4K and 8K makes painting the whole picture
// cost more than the change that called for it.
QImage* plain_32bit_target(QPainter& painter, QPoint& offset) {
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || !engine->paintDevice() ||
        engine->paintDevice()->devType() != QInternal::Image)
        return nullptr;
    auto* target = static_cast<QImage*>(engine->paintDevice());
    const QImage::Format format = target->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied)
        return nullptr;
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate || target->devicePixelRatio() != 1.0 ||
        transform.dx() != std::floor(transform.dx()) ||
        transform.dy() != std::floor(transform.dy()))
        return nullptr;
    offset = QPoint(int(transform.dx()), int(transform.dy()));
    return target;
}

} // namespace

void PictureView::paintEvent(QPaintEvent* event) {
    if (is_empty())
        return;
    QPainter painter(this);
    QPoint offset;
    if (QImage* target = plain_32bit_target(painter, offset)) {
        // Opaque pixels written in place: the same bytes drawImage would give, in one pass.
        const QRect in_target = target->rect().translated(-offset);
        for (const QRect& event_area : event->region()) {
            const QRect area = event_area & picture_.rect() & in_target;
            for (int y = area.top(); y <= area.bottom(); ++y)
                bgr888_to_argb32(picture_.constScanLine(y) + qsizetype(area.left()) * 3,
                                 reinterpret_cast<quint32*>(target->scanLine(y + offset.y())) +
                                     (area.left() + offset.x()),
                                 area.width());
        }
        return;
    }
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
