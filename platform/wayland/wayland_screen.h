#pragma once
// The screen of a Wayland session, where applications cannot read the screen, place the
// pointer's picture or name the window the user works in. Pixels come from the desktop portal's
// screenshots of the whole desktop, cut to the rectangle asked for; the displays' layout comes
// from Qt. There is no cursor and no foreground window; instead of the latter the portal's
// interactive screenshot lets the user pick a window or an area where the desktop offers one.

#include "platform/screen.h"
#include "platform/wayland/portal_screenshot.h"

#include <QRect>
#include <QString>
#include <functional>

// Where the displays lie, in screen coordinates (the primary display's top-left corner at 0, 0).
struct DisplayLayout {
    QRect primary;
    QRect desktop; // the bounding rectangle of every display
    QRect work;    // the primary display minus the docked panels
};

// The layout of the displays Qt knows, in device pixels. Throws KapError when Qt knows none.
DisplayLayout qt_display_layout();

// Copies `rect` (screen coordinates) of a screenshot into `raster` (BGR888, the rectangle's
// size), black where the screenshot has nothing. The screenshot covers the whole desktop of
// `layout`; one of exactly the primary display's size covers that display alone (a back end that
// shoots one display); one of another size is taken as the desktop at another scale.
void cut_screenshot(const QImage& shot, const DisplayLayout& layout, const ScreenRect& rect,
                    QImage& raster);

// Whether this is a Wayland session: $WAYLAND_DISPLAY set, or $XDG_SESSION_TYPE "wayland".
bool is_wayland_session(const QString& wayland_display, const QString& session_type);
bool is_wayland_session();

// Which screen the program uses: the Wayland one in a Wayland session when the portal answers,
// or when Qt itself runs on Wayland (the X11 one could reach no screen at all there; the first
// grab then tells that no portal answers). X11 elsewhere.
enum class ScreenKind { X11, Wayland };
ScreenKind choose_screen_kind(bool wayland_session, const QString& qt_platform,
                              const std::function<bool()>& portal_answers);

// Before the application object exists: in a Wayland session, Qt runs on its Wayland platform
// (X11 when that platform is missing), unless QT_QPA_PLATFORM already says otherwise.
void prefer_wayland_platform();

class WaylandScreen final : public Screen {
public:
    // How the screen gets a portal's answer; the real portal unless a test gives its own.
    using Shooter = std::function<ScreenshotAnswer(bool interactive)>;
    using Layout = std::function<DisplayLayout()>;
    explicit WaylandScreen(Shooter shooter = {}, Layout layout = {});

    ScreenRect primary_display() override;
    ScreenRect virtual_desktop() override;
    ScreenRect work_area() override;
    // One screenshot of the whole desktop per call, cut to the rectangle. Throws KapError with
    // the French message when the portal is missing, refuses, is cancelled or gives no file.
    void grab(QImage& raster, const ScreenRect& rect) override;
    std::optional<ScreenRect> foreground_window() override { return std::nullopt; }
    std::optional<CursorState> cursor() override { return std::nullopt; }
    void sync() override;

    bool reports_cursor() const override { return false; }
    bool reports_foreground_window() const override { return false; }
    std::optional<QImage> pick_interactively() override;

private:
    QImage picture_of(const ScreenshotAnswer& answer);

    Shooter shooter_;
    Layout layout_;
};
