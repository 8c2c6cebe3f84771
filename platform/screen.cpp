#include "platform/screen.h"

#include "platform/wayland/wayland_screen.h"
#include "platform/x11/x11_screen.h"

#include <QGuiApplication>
#include <memory>

namespace {
Screen* replacement_screen = nullptr;

// Chosen once, at the first use: the Wayland screen in a Wayland session where the desktop
// portal can take screenshots, the X11 one elsewhere.
std::unique_ptr<Screen> make_real_screen() {
    const QString platform = qGuiApp ? QGuiApplication::platformName() : QString();
    if (choose_screen_kind(is_wayland_session(), platform,
                           [] { return screenshot_portal_answers(); }) == ScreenKind::Wayland)
        return std::make_unique<WaylandScreen>();
    return std::make_unique<X11Screen>();
}
} // namespace

Screen& screen() {
    if (replacement_screen)
        return *replacement_screen;
    static const std::unique_ptr<Screen> real = make_real_screen();
    return *real;
}

void set_screen(Screen* replacement) {
    replacement_screen = replacement;
}
