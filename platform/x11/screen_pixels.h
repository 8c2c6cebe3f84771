#pragma once
// Pixel conversion shared by the screen implementations.

#include <QtGlobal>
#include <cstdint>

// Converts `height` rows of `width` 32-bit pixels stored blue, green, red, unused (the X server's
// 24- and 32-bit layout in least-significant-byte-first order) into 24-bit blue, green, red.
// Strides are in bytes. One pass, no intermediate buffer.
void xrgb32_to_bgr888(const uint8_t* src, qsizetype src_stride, uint8_t* dst, qsizetype dst_stride,
                      int width, int height);

// Sets `count` 24-bit pixels starting at `dst` to black.
void fill_black_bgr888(uint8_t* dst, qsizetype count);
