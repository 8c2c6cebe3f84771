#pragma once
// The screen of Windows, read through GDI: the desktop window's drawing surface copied with one
// block copy, the displays from the system metrics, the foreground window's outer rectangle and
// the cursor from GetCursorInfo. The process is per-monitor DPI aware (its manifest), so every
// figure here is in the displays' physical pixels.

#include "platform/screen.h"

#include <windows.h>

class Win32Screen final : public Screen {
public:
    ScreenRect primary_display() override;
    ScreenRect virtual_desktop() override;
    ScreenRect work_area() override;
    void grab(QImage& raster, const ScreenRect& rect) override;
    std::optional<ScreenRect> foreground_window() override;
    std::optional<CursorState> cursor() override;
    void sync() override;
};

// A cursor's picture as DrawIconEx draws it at its own size, with its hot spot; nothing when it
// cannot be read. The caller keeps the handle.
std::optional<CursorImage> cursor_picture(HICON cursor);

// The cursor's picture as DrawIconEx draws it (DI_NORMAL, its own size), from the picture drawn
// over black and over white: where the two differ the cursor lets the background through. The
// rows are 32-bit BGRx, top row first; the result is premultiplied ARGB. A pixel the cursor
// inverts (white over black, black over white) has no such form and comes out opaque white.
QImage cursor_from_backgrounds(const QImage& over_black, const QImage& over_white);
