// A run of whole sub-blocks encoded on its own, seeing up to 64 KiB of the content before it. Segments are
// cut at fixed places, so the output is the same however many threads encode them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/sub_block_writer.h"

namespace lomar::xpress {

inline constexpr std::size_t segmentSize = std::size_t{1} << 20;

struct Segment {
  const std::uint8_t* data;  // the whole stream's content
  std::size_t size;          // of the whole content; matches never reach past it
  std::size_t historyStart;  // where the history this segment may match into begins
  std::size_t start;
  std::size_t end;
  bool last;  // holds the content's end, so its last sub-block carries the end-of-data symbol
};

// Memory one thread reuses from segment to segment: allocated afresh, these tables would be cleared again by
// the system, page by page, for every segment, a large share of the fast level's time.
struct Scratch {
  std::vector<std::int32_t> heads;   // hash table heads, refilled for each segment
  std::vector<std::int32_t> links;   // chain or tree links, each written before it is read
  std::vector<Item> items;           // a sub-block's parse
  std::vector<Item> matches;         // the max level's candidates at each position of a sub-block
  std::vector<std::uint32_t> words;  // the max level's per-position arrays
  std::vector<std::uint8_t> bytes;   // a sub-block's coded bytes
};

void EncodeSegmentLazy(const Segment& segment, Scratch& scratch, std::vector<std::uint8_t>& out);
void EncodeSegmentOptimal(const Segment& segment, Scratch& scratch, std::vector<std::uint8_t>& out);

}  // namespace lomar::xpress
