// Little-endian loads and stores at any alignment; the stream is little-endian on every platform.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace lomar::xpress {

// On little-endian hosts each is one unaligned move; the byte-wise forms serve the others.
inline constexpr bool littleEndianHost = std::endian::native == std::endian::little;

inline std::uint16_t Load16(const std::uint8_t* p) {
  if constexpr (littleEndianHost) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Load32(const std::uint8_t* p) {
  if constexpr (littleEndianHost) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
inline std::uint64_t Load64(const std::uint8_t* p) {
  if constexpr (littleEndianHost) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  }
  return std::uint64_t{Load32(p)} | (std::uint64_t{Load32(p + 4)} << 32);
}
inline void Store16(std::uint8_t* p, std::uint16_t v) {
  if constexpr (littleEndianHost) return static_cast<void>(std::memcpy(p, &v, 2));
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Store32(std::uint8_t* p, std::uint32_t v) {
  if constexpr (littleEndianHost) return static_cast<void>(std::memcpy(p, &v, 4));
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Store64(std::uint8_t* p, std::uint64_t v) {
  if constexpr (littleEndianHost) return static_cast<void>(std::memcpy(p, &v, 8));
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace lomar::xpress
