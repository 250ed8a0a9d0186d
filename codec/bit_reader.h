// The bit reader of one sub-block: 16-bit little-endian words, most significant bit first, in a 64-bit
// buffer. Callers may use Reader and SubBlock, RefillFast (with 8 bytes of input left), Refill (anywhere)
// and Advance, and LoadWordsMsbFirst in loops that keep the reader's state in registers of their own. All
// inline: each loop has them in its own body.
#pragma once

#include <cstddef>
#include <cstdint>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "codec/bytes.h"

namespace lomar::xpress {

struct DecodeTable;

// The next four 16-bit little-endian words, the first in the top bits, each most significant bit first.
inline std::uint64_t LoadWordsMsbFirst(const std::uint8_t* p) {
#if defined(__SSE2__) || defined(_M_X64)
  return static_cast<std::uint64_t>(
      _mm_cvtsi128_si64(_mm_shufflelo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), 0x1B)));
#else
  const std::uint64_t v = Load64(p);
  const std::uint64_t r = (v << 32) | (v >> 32);
  return ((r & 0x0000FFFF0000FFFFull) << 16) | ((r >> 16) & 0x0000FFFF0000FFFFull);
#endif
}

// Where the bit reader stands within one sub-block.
struct Reader {
  std::uint64_t buf = 0;  // n bits at the top, then bits of the stream still to be counted
  unsigned n = 0;
  std::size_t pos = 0;
  std::size_t lengthBytes = 0;  // taken by long lengths from between the words
};

// One sub-block's decoding state, shared by its careful and fast loops.
struct SubBlock {
  const DecodeTable& table;
  const std::uint8_t* ip;
  std::size_t isize;
  std::uint8_t* base;
  std::uint8_t* subEnd;
  std::uint8_t* oend;
};

// Keeps 48 to 63 bits in hand, whole 16-bit words only; below them may sit the first bits of the next
// word, which the next load writes again with the same values.
inline void RefillFast(Reader& r, const std::uint8_t* ip) {
  r.buf |= LoadWordsMsbFirst(ip + r.pos) >> r.n;
  r.pos += (~r.n >> 3) & 6;  // the whole words that fit: 2 * ((63 - n) / 16) bytes
  r.n |= 48;
}

inline void Refill(Reader& r, const SubBlock& s) {
  if (r.pos <= s.isize && s.isize - r.pos >= 8) return RefillFast(r, s.ip);
  // Past the end the stream reads as zeros; the check at the sub-block's end catches their use.
  while (r.n <= 47) {
    const std::uint64_t lo = r.pos < s.isize ? s.ip[r.pos] : 0;
    const std::uint64_t hi = r.pos + 1 < s.isize ? s.ip[r.pos + 1] : 0;
    r.buf |= ((hi << 8) | lo) << (48 - r.n);
    r.n += 16;
    r.pos += 2;
  }
}

inline void Advance(Reader& r, unsigned bits) {
  r.buf <<= bits;
  r.n -= bits;
}

}  // namespace lomar::xpress
