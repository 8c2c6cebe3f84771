#pragma once
// Small helpers shared by the BMP and file-writer tests.

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <cstdint>

#include "tests/support/files.h"

namespace bmptest {

using ::file_bytes;
using ::write_bytes;

inline std::uint32_t u16(const QByteArray& b, int at) {
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8;
}
inline std::uint32_t u32(const QByteArray& b, int at) {
    return u16(b, at) | u16(b, at + 2) << 16;
}
inline std::int32_t i32(const QByteArray& b, int at) {
    return static_cast<std::int32_t>(u32(b, at));
}
inline void set_u32(QByteArray& b, int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}
inline std::uint8_t byte(const QByteArray& b, int at) {
    return std::uint8_t(b[at]);
}

// A picture whose every pixel differs from its neighbours in each channel, so that swapped
// channels, rows or columns show up.
inline QRgb pattern_colour(int x, int y) {
    return qRgb((x * 37 + y * 11 + 5) & 0xFF, (x * 13 + y * 71 + 90) & 0xFF,
                (x * 59 + y * 29 + 200) & 0xFF);
}

inline QImage pattern_image(int width, int height, QImage::Format format) {
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, pattern_colour(x, y));
    return image;
}

inline QImage pattern_indexed(int width, int height, int colours) {
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i)
        table.append(pattern_colour(i, 255 - i));
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = uchar((x * 7 + y * 3) % colours);
    return image;
}

// Same size and the same colour at every pixel, whatever the formats.
inline bool same_pixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
    return true;
}

} // namespace bmptest
