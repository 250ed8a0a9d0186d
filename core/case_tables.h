// The portable case mappings as sorted, disjoint runs: every `stride`-th code point from `first` to `last`
// maps to itself plus `delta`; code points in no run map to themselves.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lomar {

struct CaseRange {
  char32_t first;
  char32_t last;
  std::int32_t delta;
  std::uint8_t stride;  // 1 or 2
};

// Unicode's simple lowercase mapping, widened to whatever CharLowerBuffW folds.
extern const CaseRange lowerCaseRanges[];
extern const std::size_t lowerCaseRangeCount;

// Unicode's simple uppercase mapping within the Basic Multilingual Plane, the way NTFS compares names
// (through an upper-case table of UTF-16 code units).
extern const CaseRange upperCaseRanges[];
extern const std::size_t upperCaseRangeCount;

}  // namespace lomar
