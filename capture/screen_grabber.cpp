#include "capture/screen_grabber.h"

#include "platform/core/error.h"
#include "platform/core/frames.h"

#include <algorithm>
#include <limits>

namespace {

// x / 255 rounded to nearest, exact for 0 <= x <= 255 * 255.
inline uint32_t div255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

} // namespace

void raster_out_of_memory(int64_t width, int64_t height) {
    throw KapError(QStringLiteral("Mémoire insuffisante pour une image de %1 × %2 pixels.")
                       .arg(width)
                       .arg(height));
}

void grab_rect(QImage& raster, const ScreenRect& rect) {
    if (rect.empty()) {
        raster = QImage();
        return;
    }
    const int64_t w = rect.width();
    const int64_t h = rect.height();
    QImage fresh;
    if (w <= std::numeric_limits<int>::max() && h <= std::numeric_limits<int>::max())
        fresh = new_frame(QSize(int(w), int(h)));
    if (fresh.isNull())
        raster_out_of_memory(w, h);
    screen().grab(fresh, rect);
    raster = std::move(fresh);
}

bool get_cursor_info(CursorInfo& info) {
    if (info.cbSize != kCursorInfoSize)
        return false;
    const std::optional<CursorState> state = screen().cursor();
    if (!state)
        return false;
    info.flags = state->visible ? kCursorShowing : 0;
    info.hCursor = state->image;
    info.ptScreenPos = state->position;
    return true;
}

void draw_cursor(QImage& raster, const QImage& cursor, QPoint at) {
    if (raster.isNull() || cursor.isNull())
        return;
    const QImage src = cursor.format() == QImage::Format_ARGB32_Premultiplied
                           ? cursor
                           : cursor.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // The cursor's rows and columns that land on the raster.
    const int x0 = int(std::clamp<int64_t>(-int64_t(at.x()), 0, src.width()));
    const int y0 = int(std::clamp<int64_t>(-int64_t(at.y()), 0, src.height()));
    const int x1 = int(std::clamp<int64_t>(int64_t(raster.width()) - at.x(), 0, src.width()));
    const int y1 = int(std::clamp<int64_t>(int64_t(raster.height()) - at.y(), 0, src.height()));
    for (int y = y0; y < y1; ++y) {
        const auto* s = reinterpret_cast<const uint32_t*>(src.constScanLine(y));
        uint8_t* d = raster.scanLine(at.y() + y) + qsizetype(at.x() + x0) * 3;
        for (int x = x0; x < x1; ++x, d += 3) {
            const uint32_t p = s[x];
            if (p == 0)
                continue;
            const uint32_t keep = 255 - (p >> 24);
            // Premultiplied "over": source plus what the source lets through of the pixel.
            const uint32_t b = (p & 0xFF) + div255(d[0] * keep);
            const uint32_t g = ((p >> 8) & 0xFF) + div255(d[1] * keep);
            const uint32_t r = ((p >> 16) & 0xFF) + div255(d[2] * keep);
            d[0] = uint8_t(std::min<uint32_t>(b, 255));
            d[1] = uint8_t(std::min<uint32_t>(g, 255));
            d[2] = uint8_t(std::min<uint32_t>(r, 255));
        }
    }
}

QImage grab_rect_cursor(bool include_cursor, const ScreenRect& rect) {
    QImage raster;
    grab_rect(raster, rect);
    if (!include_cursor)
        return raster;
    CursorInfo info;
    info.cbSize = kCursorInfoSize;
    if (!get_cursor_info(info) || info.flags != kCursorShowing)
        return raster;
    if (info.hCursor.pixels.isNull())
        return raster;
    // Top-left corner of the cursor picture in the raster: position - hot spot - origin.
    const int64_t x = int64_t(info.ptScreenPos.x()) - info.hCursor.hot_spot.x() - rect.left;
    const int64_t y = int64_t(info.ptScreenPos.y()) - info.hCursor.hot_spot.y() - rect.top;
    if (x >= raster.width() || y >= raster.height() || x + info.hCursor.pixels.width() <= 0 ||
        y + info.hCursor.pixels.height() <= 0)
        return raster; // wholly outside
    draw_cursor(raster, info.hCursor.pixels, QPoint(int(x), int(y)));
    return raster;
}

QImage grab_screen(bool include_cursor) {
    const ScreenRect primary = screen().primary_display();
    return grab_rect_cursor(include_cursor, {0, 0, primary.right, primary.bottom});
}

QImage grab_active_window(bool include_cursor) {
    if (const std::optional<ScreenRect> window = screen().foreground_window())
        return grab_rect_cursor(include_cursor, *window);
    return grab_screen(include_cursor);
}
