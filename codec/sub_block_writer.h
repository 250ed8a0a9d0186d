// Turns one sub-block's parse into its bytes: code lengths from the symbol counts, the 256-byte table, then
// the bit stream with the long-length bytes interleaved where MS-XCA's reader looks for them.
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/huffman.h"

namespace lomar::xpress {

// A literal when distance is 0 (length holds the byte), else a match.
struct Item {
  std::uint32_t length;
  std::uint32_t distance;
};

inline unsigned DistanceBits(std::uint32_t distance) { return static_cast<unsigned>(std::bit_width(distance)) - 1; }

inline unsigned MatchSymbol(std::uint32_t length, std::uint32_t distance) {
  const std::uint32_t l = length - 3;
  return 256 + (DistanceBits(distance) << 4) + (l < 15 ? l : 15);
}

// The code lengths Write would choose for these items.
void CodeLengthsFor(std::span<const Item> items, bool last, std::uint8_t (&lengths)[symbolCount]);

class SubBlockWriter {
 public:
  // scratch holds the bytes of one sub-block while they are written.
  SubBlockWriter(std::vector<std::uint8_t>& out, std::vector<std::uint8_t>& scratch) : out_(out), scratch_(scratch) {}

  // Appends the sub-block; with last, the end-of-data symbol closes it. lengths receives the code used.
  void Write(std::span<const Item> items, bool last, std::uint8_t (&lengths)[symbolCount]);

 private:
  std::vector<std::uint8_t>& out_;
  std::vector<std::uint8_t>& scratch_;
};

}  // namespace lomar::xpress
