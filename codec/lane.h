// A lane: one coded block on its way through the decoder, with its own table and reader, which Prepare,
// RunFast and the paired loop move on in turn. Callers may use Lane (Start gives it a block), LaneState,
// which Prepare returns, and Lanes, the two that the paired loop takes side by side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/bit_reader.h"
#include "codec/decode_table.h"
#include "codec/fast_loop.h"

namespace lomar::xpress {

// Where one stream stands: between sub-blocks (pos is then the next table's), or inside one.
struct Lane {
  const std::uint8_t* ip = nullptr;
  std::size_t isize = 0;
  std::size_t inFast = 0;
  std::uint8_t* base = nullptr;  // no match may reach in front of it
  std::uint8_t* op = nullptr;
  std::uint8_t* oend = nullptr;
  std::size_t pos = 0;
  bool inSubBlock = false;
  bool tailOnly = false;  // the fast loop could not move here: the sub-block's rest goes carefully
  Reader r;
  std::uint8_t* subEnd = nullptr;
  std::size_t wordsStart = 0;
  DecodeTable table;

  void Start(std::span<const std::uint8_t> in, std::uint8_t* lowest, std::uint8_t* begin, std::uint8_t* end) {
    ip = in.data();
    isize = in.size();
    inFast = isize > inMargin ? isize - inMargin : 0;
    base = lowest;
    op = begin;
    oend = end;
    pos = 0;
    inSubBlock = false;
  }

  SubBlock View() const { return SubBlock{table, ip, isize, base, subEnd, oend}; }
};

enum class LaneState { failed, finished, fast };

struct Lanes {
  Lane a, b;
};

}  // namespace lomar::xpress
