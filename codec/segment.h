// A run of whole sub-blocks encoded on its own, seeing up to 64 KiB of the content before it. Segments are
// cut at fixed places, so the output is the same however many threads encode them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

void EncodeSegmentLazy(const Segment& segment, std::vector<std::uint8_t>& out);
void EncodeSegmentOptimal(const Segment& segment, std::vector<std::uint8_t>& out);

}  // namespace lomar::xpress
