#pragma once
// A rectangle of screen pixels; right and bottom are exclusive. Screen coordinates have their
// origin at the top-left corner of the primary display.

#include <QRect>
#include <cstdint>

struct ScreenRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    // 64-bit so that no pair of 32-bit edges can overflow.
    int64_t width() const { return int64_t(right) - left; }
    int64_t height() const { return int64_t(bottom) - top; }
    bool empty() const { return width() <= 0 || height() <= 0; }

    static ScreenRect from_qrect(const QRect& r) {
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
    QRect to_qrect() const { return QRect(left, top, int(width()), int(height())); }

    bool operator==(const ScreenRect&) const = default;
};
