#pragma once
// Pictures with known pixels for the tests and the benchmarks.

#include <QImage>
#include <QPoint>
#include <QSize>

// A picture whose every pixel differs from its neighbours: each pixel tells where it came from
// (blue = x, green = y, red = the high bits of both).
inline QImage position_pattern(QSize size) {
    QImage image(size, QImage::Format_BGR888);
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            line[x * 3] = uchar(x);
            line[x * 3 + 1] = uchar(y);
            line[x * 3 + 2] = uchar((x >> 8) * 16 + (y >> 8));
        }
    }
    return image;
}

// position_pattern with the top bit of red set: no pixel is black, so black shows where nothing
// was painted.
inline QImage position_pattern_never_black(QSize size) {
    QImage image = position_pattern(size);
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x)
            line[x * 3 + 2] |= 0x80;
    }
    return image;
}

// A window's picture, unlike any stretch of position_pattern's.
inline QImage window_pattern(QSize size, int seed) {
    QImage image(size, QImage::Format_BGR888);
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            line[x * 3] = uchar(x * 7 + y * 3 + seed);
            line[x * 3 + 1] = uchar((x ^ y) + seed * 5);
            line[x * 3 + 2] = uchar(0x80 | ((x + y * 13) & 0x7F));
        }
    }
    return image;
}
