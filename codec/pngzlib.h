#pragma once
// The two checksums and the compressor behind the PNG writer.

#include <cstddef>
#include <cstdint>

// CRC-32 of PNG chunks (reflected polynomial 0xEDB88320). update_crc continues a running value
// that starts at 0xFFFFFFFF; the stored CRC is its complement. The table is built on first use.
std::uint32_t update_crc(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
std::uint32_t png_crc(const std::uint8_t* type4, const std::uint8_t* data, std::size_t size);
