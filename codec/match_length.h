// How far two positions of the content agree, eight bytes at a time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lomar::xpress {

static_assert(std::endian::native == std::endian::little, "the first differing byte is found from the low end");

inline std::size_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
  std::size_t len = 0;
  while (len + 8 <= limit) {
    std::uint64_t x, y;
    std::memcpy(&x, a + len, 8);
    std::memcpy(&y, b + len, 8);
    if (x != y) return len + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
    len += 8;
  }
  while (len < limit && a[len] == b[len]) ++len;
  return len;
}

inline std::uint32_t Hash3(const std::uint8_t* p, unsigned bits) {
  const std::uint32_t v = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
  return (v * 0x9E3779B1u) >> (32 - bits);
}

}  // namespace lomar::xpress
