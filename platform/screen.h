#pragma once
// The screen as the capture code sees it: the primary display, the virtual desktop, the pixels
// of any rectangle, the foreground window and the mouse cursor. The X11 implementation talks to
// the X server; tests install a fake with known pixels.
//
// Screen coordinates are pixels with their origin at the top-left corner of the primary display.
// Other displays may lie left of or above it, at negative coordinates.

#include "platform/screen_rect.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <optional>

// The cursor's picture: premultiplied ARGB pixels and the hot spot, in pixels from the
// picture's top-left corner.
struct CursorImage {
    QPoint hot_spot;
    QImage pixels; // QImage::Format_ARGB32_Premultiplied
};

// What the platform knows of the mouse cursor at one moment.
struct CursorState {
    bool visible = false;
    QPoint position; // screen coordinates of the hot spot
    CursorImage image;
};

class Screen {
public:
    virtual ~Screen() = default;

    // The primary display; its left and top are 0 by definition of screen coordinates.
    virtual ScreenRect primary_display() = 0;
    // The bounding rectangle of all displays.
    virtual ScreenRect virtual_desktop() = 0;
    // The primary display minus the task bars and other docked panels.
    virtual ScreenRect work_area() = 0;

    // Fills `raster` (QImage::Format_BGR888, exactly `rect`'s size, not empty) with the screen
    // pixels of `rect`. The rectangle is not clipped: whatever lies off the screen is black.
    virtual void grab(QImage& raster, const ScreenRect& rect) = 0;

    // The outer rectangle (frame and title bar included) of the window the user works in, or
    // nothing when there is no such window or its rectangle cannot be had.
    virtual std::optional<ScreenRect> foreground_window() = 0;

    // The cursor's visibility, position and picture; nothing when the platform cannot say.
    virtual std::optional<CursorState> cursor() = 0;

    // Makes sure the display server has carried out every request this program has sent, so
    // that a window just hidden is really gone from the screen.
    virtual void sync() = 0;

    // Whether cursor() and foreground_window() can ever answer. A Wayland session keeps both
    // from applications.
    virtual bool reports_cursor() const { return true; }
    virtual bool reports_foreground_window() const { return true; }
    // Where the foreground window cannot be had: a picture of a window or an area the user picks
    // with the desktop's own tool, or nothing when the desktop offers no such tool (or its tool
    // failed). Throws KapError when the user cancels.
    virtual std::optional<QImage> pick_interactively() { return std::nullopt; }
};

// The screen in force: the real one unless a test installed its own.
Screen& screen();
// Installs a replacement screen (nullptr puts the real one back). The caller keeps ownership.
void set_screen(Screen* replacement);
