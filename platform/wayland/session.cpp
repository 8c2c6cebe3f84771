#include "platform/session.h"

#include "platform/wayland/wayland_screen.h"

#include <QGuiApplication>

void choose_display_platform() {
    prefer_wayland_platform();
}

bool windows_place_themselves() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
