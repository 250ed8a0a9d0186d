// The portable lower-case mapping as sorted, disjoint runs: every `stride`-th
// code point from `first` to `last` maps to itself plus `delta`; code points in
// no run map to themselves.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lomar {

struct LowerCaseRange {
  char32_t first;
  char32_t last;
  std::int32_t delta;
  std::uint8_t stride;  // 1 or 2
};

extern const LowerCaseRange lowerCaseRanges[];
extern const std::size_t lowerCaseRangeCount;

}  // namespace lomar
