#include "tests/support/fake_screen.h"

#include <algorithm>
#include <cstring>

FakeScreen::FakeScreen(const QImage& desktop_pixels, QPoint origin, QSize primary)
    : desktop(desktop_pixels.convertToFormat(QImage::Format_BGR888)), desktop_origin(origin),
      primary_size(primary) {}

FakeScreen::FakeScreen(const QImage& desktop_pixels)
    : FakeScreen(desktop_pixels, QPoint(0, 0), desktop_pixels.size()) {}

ScreenRect FakeScreen::primary_display() {
    return {0, 0, primary_size.width(), primary_size.height()};
}

ScreenRect FakeScreen::virtual_desktop() {
    return ScreenRect::from_qrect(QRect(desktop_origin, desktop.size()));
}

ScreenRect FakeScreen::work_area() {
    return work.value_or(primary_display());
}

void FakeScreen::grab(QImage& raster, const ScreenRect& rect) {
    if (on_grab)
        on_grab(rect);
    grabs.push_back(rect);
    syncs_before_last_grab = syncs;
    raster.fill(Qt::black);
    // The part of the rectangle covered by the desktop picture, in the picture's coordinates.
    const int64_t left = std::max<int64_t>(rect.left - int64_t(desktop_origin.x()), 0);
    const int64_t top = std::max<int64_t>(rect.top - int64_t(desktop_origin.y()), 0);
    const int64_t right =
        std::min<int64_t>(rect.right - int64_t(desktop_origin.x()), desktop.width());
    const int64_t bottom =
        std::min<int64_t>(rect.bottom - int64_t(desktop_origin.y()), desktop.height());
    if (left >= right || top >= bottom)
        return;
    const int64_t dx = left + desktop_origin.x() - rect.left;
    const int64_t dy = top + desktop_origin.y() - rect.top;
    for (int64_t y = top; y < bottom; ++y)
        std::memcpy(raster.scanLine(int(y - top + dy)) + dx * 3,
                    desktop.constScanLine(int(y)) + left * 3, size_t(right - left) * 3);
}

std::optional<ScreenRect> FakeScreen::foreground_window() {
    return foreground;
}

std::optional<CursorState> FakeScreen::cursor() {
    return cursor_state;
}

void FakeScreen::sync() {
    ++syncs;
}
