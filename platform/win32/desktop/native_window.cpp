#include "platform/native_window.h"
#include "platform/pointer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <windows.h>

std::optional<QPoint> native_client_origin(const QWidget*) {
    // Qt's geometry of a window is the system's own on Windows.
    return std::nullopt;
}

bool native_set_above(const QWidget* window, bool above) {
    if (!window->testAttribute(Qt::WA_WState_Created) || !window->isVisible())
        return false;
    const auto handle = reinterpret_cast<HWND>(window->winId());
    return SetWindowPos(handle, above ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                        SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool native_confine_pointer(const QRect* screen) {
    if (!screen)
        return ClipCursor(nullptr);
    // Qt's coordinates are the system's divided by the display's scale: the rectangle is taken
    // from the pointer's place in both, which the caller's rectangle holds.
    POINT now{};
    if (!GetCursorPos(&now))
        return false;
    const QPoint logical = QCursor::pos();
    const QScreen* display = QGuiApplication::screenAt(logical);
    const qreal scale = display ? display->devicePixelRatio() : 1.0;
    auto native = [&](int x, int y) {
        return POINT{now.x + qRound((x - logical.x()) * scale),
                     now.y + qRound((y - logical.y()) * scale)};
    };
    const POINT first = native(screen->left(), screen->top());
    const POINT last = native(screen->right() + 1, screen->bottom() + 1); // RECT ends outside
    const RECT area{first.x, first.y, last.x, last.y};
    return ClipCursor(&area);
}

void send_window_requests() {
    // Windows carries out each request as it is made.
}
