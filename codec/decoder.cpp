// Table-driven decoding of LZ77+Huffman with a 64-bit bit buffer. The buffer reads ahead of the reader that
// MS-XCA describes (which holds at most two 16-bit words), so wherever that reader's byte position matters
// (long-length bytes, the end of a sub-block) the position is brought back to where that reader would be.
//
// Each sub-block runs a fast loop while both the input and the output are far from their ends, so that its
// iterations (one literal or one short match each) need no bounds checks of their own, then a careful loop
// that checks every read and write, for the last bytes. Both take the same decisions: the margins only
// remove checks that cannot fail. The fast loop has no branch on what a symbol is (see the entries in
// decode_table.h) and looks each symbol up before the refill that goes with it, so that what bounds its
// speed is the chain from one lookup to the next rather than mispredicted branches.
//
// That chain still leaves most of the processor idle, so the blocks of a framed stream, which are coded on
// their own, are decoded two at a time: each in a lane, the two lanes' fast loops interleaved in one loop
// (the paired loop), and a lane that finishes its block takes the next one.
//
// The parts, each in its own file: the table and its builder (decode_table.h, decode_table.cpp), the bit
// reader (bit_reader.h), the careful loop (careful_loop.cpp), the fast loop (fast_loop.cpp), the paired loop
// (paired_loop.h) and the lanes they share (lane.h). Here the blocks are dealt out to the lanes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "codec/careful_loop.h"
#include "codec/fast_loop.h"
#include "codec/lane.h"
#include "codec/lz_huffman.h"
#include "codec/paired_loop.h"

namespace lomar::xpress {
namespace {

// Both lanes' fast stretches: side by side where the processor takes the paired loop and both lanes are
// far enough from their starts to need no distance checks, else one after the other.
bool RunBoth(Lanes& lanes) {
#if defined(LOMAR_PAIRED_LOOP)
  static const bool paired = __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("ssse3");
  const bool far = lanes.a.op - lanes.a.base >= static_cast<std::ptrdiff_t>(maxDistance) &&
                   lanes.b.op - lanes.b.base >= static_cast<std::ptrdiff_t>(maxDistance);
  if (paired && far) {
    std::uint8_t* const beforeA = lanes.a.op;
    std::uint8_t* const beforeB = lanes.b.op;
    if (!PairedFast(lanes)) return false;
    lanes.a.tailOnly = lanes.a.op == beforeA;
    lanes.b.tailOnly = lanes.b.op == beforeB;
    return true;
  }
#endif
  return RunFast(lanes.a) && RunFast(lanes.b);
}

}  // namespace

bool DecodeLzHuffman(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t begin) {
  Lane lane;
  lane.Start(in, out.data(), out.data() + begin, out.data() + out.size());
  for (;;) {
    switch (Prepare(lane)) {
      case LaneState::failed: return false;
      case LaneState::finished: return true;
      case LaneState::fast:
        if (!RunFast(lane)) return false;
        break;
    }
  }
}

bool DecodeLzHuffmanBlocks(BlockSource& blocks, std::span<std::uint8_t> out) {
  Lanes lanes;
  // Gives a lane the next coded block, copying stored ones on the way; false when there is none.
  auto take = [&](Lane& l) {
    while (const std::optional<StreamBlock> block = blocks.Next()) {
      std::uint8_t* const begin = out.data() + block->begin;
      if (block->raw) {
        std::memcpy(begin, block->bytes.data(), block->end - block->begin);
        continue;
      }
      l.Start(block->bytes, begin, begin, out.data() + block->end);
      return true;
    }
    return false;
  };
  Lane* const both[2] = {&lanes.a, &lanes.b};
  bool busy[2] = {take(lanes.a), take(lanes.b)};
  while (busy[0] || busy[1]) {
    // Each busy lane up to its fast loop; one that finishes its block takes the next and is looked at again.
    bool ready = true;
    for (int i = 0; i < 2 && ready; ++i) {
      if (!busy[i]) continue;
      const LaneState state = Prepare(*both[i]);
      if (state == LaneState::failed) return false;
      if (state == LaneState::finished) {
        busy[i] = take(*both[i]);
        ready = false;
      }
    }
    if (ready && !(busy[0] && busy[1] ? RunBoth(lanes) : RunFast(busy[0] ? lanes.a : lanes.b))) return false;
  }
  return true;
}

}  // namespace lomar::xpress
