#pragma once
// The screen of an X server, read through xcb: the root window's pixels (shared memory when the
// server offers it, plain image requests otherwise), the RandR primary display, the EWMH active
// window with its frame, and the XFixes cursor. Before each grab it waits until the program's
// windows hidden lately are off the screen: frames taken away by the window manager, and a
// compositor's fade-out over (followed through the Damage extension).

#include "platform/screen.h"

#include <QByteArray>
#include <memory>

class X11Screen final : public Screen {
public:
    // `display_name` empty: the display named by $DISPLAY. The connection is opened at the
    // first use that needs it and kept.
    explicit X11Screen(QByteArray display_name = {});
    ~X11Screen() override;
    X11Screen(const X11Screen&) = delete;
    X11Screen& operator=(const X11Screen&) = delete;

    ScreenRect primary_display() override;
    ScreenRect virtual_desktop() override;
    ScreenRect work_area() override;
    void grab(QImage& raster, const ScreenRect& rect) override;
    std::optional<ScreenRect> foreground_window() override;
    std::optional<CursorState> cursor() override;
    void sync() override;

    // Shared memory is used when the server offers it; switching it off forces the plain image
    // requests (tests run both paths).
    void set_shared_memory_allowed(bool allowed);
    // Whether the last grab went through shared memory.
    bool last_grab_used_shared_memory() const;
    // Whether the screen's own connection is open. Questions about the layout (displays, work
    // area) go through Qt's connection to the same display where there is one; the own
    // connection opens at the first grab, cursor or active-window query.
    bool connected() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
