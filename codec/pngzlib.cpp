#include "codec/pngzlib.h"

#include <array>

namespace {

std::array<std::uint32_t, 256> make_crc_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

const std::array<std::uint32_t, 256>& crc_table() {
    static const std::array<std::uint32_t, 256> table = make_crc_table();
    return table;
}

} // namespace

std::uint32_t update_crc(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    const auto& table = crc_table();
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint32_t png_crc(const std::uint8_t* type4, const std::uint8_t* data, std::size_t size) {
    return ~update_crc(update_crc(0xFFFFFFFFu, type4, 4), data, size);
}
