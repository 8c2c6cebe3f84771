#include "platform/window_placement.h"

#include "platform/native_window.h"

#include <optional>

#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>
#include <QWindow>

QPoint window_system_point(QPoint screen_point) {
    QPoint origin;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        origin = primary->geometry().topLeft();
    return screen_point + origin;
}

ScreenRect qt_primary_display() {
    if (QScreen* primary = QGuiApplication::primaryScreen())
        return ScreenRect::from_qrect(QRect(QPoint(0, 0), primary->geometry().size()));
    return {};
}

QMargins window_frame(const QWidget* window) {
    if (const QWindow* handle = window->windowHandle(); handle && window->isVisible())
        return handle->frameMargins();
    return {};
}

namespace {
const char kOuterProperty[] = "kap_outer_top_left";
} // namespace

void place_outer(QWidget* window, QPoint outer_top_left, QMargins frame) {
    const QPoint client = window_system_point(outer_top_left) + QPoint(frame.left(), frame.top());
    window->setGeometry(QRect(client, window->size()));
    window->setProperty(kOuterProperty, outer_top_left);
}

QPoint outer_top_left(const QWidget* window, QMargins frame) {
    if (!window->isVisible()) {
        const QVariant placed = window->property(kOuterProperty);
        if (placed.isValid())
            return placed.toPoint();
    }
    // Qt's idea of a shown window's place can be off by the frame: the window system's own.
    const QPoint client = native_client_origin(window).value_or(window->geometry().topLeft());
    return client - QPoint(frame.left(), frame.top()) - window_system_point(QPoint());
}

void remember_outer_top_left(QWidget* window, QMargins frame) {
    if (window->isVisible())
        window->setProperty(kOuterProperty, outer_top_left(window, frame));
}

QPoint centred_top_left(const ScreenRect& display, QSize outer) {
    return QPoint(display.left + static_cast<int>((display.width() - outer.width()) / 2),
                  display.top + static_cast<int>((display.height() - outer.height()) / 2));
}

void centre_window(QWidget* window, QMargins frame, const ScreenRect& display) {
    const QSize outer = window->size().grownBy(frame);
    place_outer(window, centred_top_left(display, outer), frame);
}

void centre_window(QWidget* window, QMargins frame) {
    centre_window(window, frame, qt_primary_display());
}
