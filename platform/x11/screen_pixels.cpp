#include "platform/x11/screen_pixels.h"

#include <bit>
#include <cstring>

namespace {

void convert_row(const uint8_t* src, uint8_t* dst, int width) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four pixels (16 bytes in) become three words (12 bytes out):
        // a = xRGB, b, c, d  ->  [B0 G0 R0 B1] [G1 R1 B2 G2] [R2 B3 G3 R3].
        for (; x + 4 <= width; x += 4, src += 16, dst += 12) {
            uint32_t a, b, c, d;
            std::memcpy(&a, src, 4);
            std::memcpy(&b, src + 4, 4);
            std::memcpy(&c, src + 8, 4);
            std::memcpy(&d, src + 12, 4);
            const uint32_t w0 = (a & 0x00FFFFFFu) | (b << 24);
            const uint32_t w1 = ((b >> 8) & 0x0000FFFFu) | (c << 16);
            const uint32_t w2 = ((c >> 16) & 0x000000FFu) | (d << 8);
            std::memcpy(dst, &w0, 4);
            std::memcpy(dst + 4, &w1, 4);
            std::memcpy(dst + 8, &w2, 4);
        }
    }
    for (; x < width; ++x, src += 4, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
    }
}

} // namespace

void xrgb32_to_bgr888(const uint8_t* src, qsizetype src_stride, uint8_t* dst, qsizetype dst_stride,
                      int width, int height) {
    for (int y = 0; y < height; ++y)
        convert_row(src + y * src_stride, dst + y * dst_stride, width);
}

void fill_black_bgr888(uint8_t* dst, qsizetype count) {
    if (count > 0)
        std::memset(dst, 0, size_t(count) * 3);
}
