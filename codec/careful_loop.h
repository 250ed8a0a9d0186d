// The careful loop: every read and write checked, for the first and last bytes of each sub-block, where the
// fast loops have no margins. Callers may use Prepare, which takes a lane up to where a fast loop can run,
// and LongMatch and CopyLong, which the fast loops leave their rare cases to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/bit_reader.h"
#include "codec/bytes.h"
#include "codec/decode_table.h"
#include "codec/lane.h"

namespace lomar::xpress {

// Copies length bytes from distance back, as byte-by-byte copying would where the two overlap. room, at
// least length, is what the output has from op on; whole words may be written up to it.
inline void CopyLong(std::uint8_t* op, std::size_t distance, std::size_t length, std::size_t room) {
  const std::uint8_t* src = op - distance;
  std::size_t i = 0;
  if (room - length >= 32) {
    // Most long matches are a few dozen bytes: 64 bytes straight where there is room, which covers most
    // of them without a loop to mispredict, then whole 32-byte steps, with no exact tail.
    if (distance >= 16) {
      if (room >= 64) {
        std::memcpy(op, src, 16);
        std::memcpy(op + 16, src + 16, 16);
        std::memcpy(op + 32, src + 32, 16);
        std::memcpy(op + 48, src + 48, 16);
        if (length <= 64) return;
        i = 64;
      }
      do {
        std::memcpy(op + i, src + i, 16);
        std::memcpy(op + i + 16, src + i + 16, 16);
        i += 32;
      } while (i < length);
      return;
    }
    if (distance == 1) {
      const std::uint64_t v = src[0] * 0x0101010101010101ull;
      do {
        Store64(op + i, v);
        Store64(op + i + 8, v);
        i += 16;
      } while (i < length);
      return;
    }
  }
  if (distance == 1) {
    std::memset(op, src[0], length);
    return;
  }
  if (distance >= 16) {
    for (; length - i >= 16; i += 16) std::memcpy(op + i, src + i, 16);
  } else {
    // Repeats of the period; a whole number of periods of at least 8 bytes back reads only written bytes.
    const std::size_t step = distance >= 8 ? distance : distance * ((8 + distance - 1) / distance);
    if (distance < 8)
      for (; i < step && i < length; ++i) op[i] = src[i];
    if (room - length >= 8) {
      for (; i < length; i += 8) std::memcpy(op + i, op + i - step, 8);
      return;
    }
    for (; length - i >= 8; i += 8) std::memcpy(op + i, op + i - step, 8);
  }
  for (; i < length; ++i) op[i] = src[i];
}

// A match whose length follows in bytes, with at least 30 bits in hand. Returns the output position
// after it, or null if the stream is corrupt. Rare enough to stay out of line, so that the fast loop
// keeps its state in registers.
std::uint8_t* LongMatch(Entry e, Reader& r, const SubBlock& s, std::uint8_t* op);

// Takes a lane carefully up to where the fast loop can run, through as many sub-blocks as that takes.
LaneState Prepare(Lane& l);

}  // namespace lomar::xpress
