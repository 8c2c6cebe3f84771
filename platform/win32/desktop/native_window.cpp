#include "platform/native_window.h"

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

void send_window_requests() {
    // Windows carries out each request as it is made.
}
