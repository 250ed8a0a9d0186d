// CRC-32 as zlib computes it (reflected, polynomial 0xEDB88320), for the stream header's checksum byte.
#pragma once

#include <cstdint>
#include <span>

namespace lomar::xpress {

// Continues a running CRC; start with 0.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace lomar::xpress
