#pragma once
// Copies rectangles of the screen into new 24-bit rasters (QImage::Format_BGR888), with the
// mouse cursor drawn in on request. Keeps no state between calls; the caller owns each raster.
// Coordinates are screen pixels from the primary display's top-left corner.

#include "platform/screen.h"

#include <QImage>
#include <QPoint>
#include <cstdint>

// The cursor record filled by get_cursor_info.
struct CursorInfo {
    uint32_t cbSize = 0; // set by the caller to kCursorInfoSize
    uint32_t flags = 0;  // kCursorShowing when the cursor is on the screen
    CursorImage hCursor; // the cursor's picture and hot spot (empty pixels when unknown)
    QPoint ptScreenPos;  // screen position of the hot spot
};
inline constexpr uint32_t kCursorInfoSize = 20;
inline constexpr uint32_t kCursorShowing = 1;

// Makes `raster` a BGR888 picture of the rectangle's size holding its screen pixels. The
// rectangle is not clipped: parts off the screen are black. An empty rectangle gives an empty
// (null) raster. Throws KapError when the raster cannot be created.
void grab_rect(QImage& raster, const ScreenRect& rect);

// Throws the error of a raster of that size that memory cannot hold.
[[noreturn]] void raster_out_of_memory(int64_t width, int64_t height);

// A new raster of the rectangle; with `include_cursor`, the visible cursor is drawn in.
QImage grab_rect_cursor(bool include_cursor, const ScreenRect& rect);

// The whole primary display, whatever other displays exist.
QImage grab_screen(bool include_cursor);

// The foreground window's outer rectangle (frame included, also where it reaches beyond the
// screen), or the whole primary display when the platform gives no such rectangle.
QImage grab_active_window(bool include_cursor);

// Fills `info` from the platform. False when `info.cbSize` is not kCursorInfoSize or the
// platform cannot report the cursor.
bool get_cursor_info(CursorInfo& info);

// Alpha-blends the premultiplied cursor picture onto the BGR888 raster with the picture's
// top-left corner at `at`; what falls outside the raster is cut off.
void draw_cursor(QImage& raster, const QImage& cursor, QPoint at);
