#include <algorithm>

#include "core/case_tables.h"
#include "core/unicode.h"

namespace lomar {

namespace {

char32_t Map(const CaseRange* begin, const CaseRange* end, char32_t codePoint) {
  const CaseRange* after =
      std::upper_bound(begin, end, codePoint, [](char32_t c, const CaseRange& r) { return c < r.first; });
  if (after == begin) return codePoint;
  const CaseRange& run = after[-1];
  if (codePoint > run.last || (codePoint - run.first) % run.stride != 0) return codePoint;
  return static_cast<char32_t>(static_cast<std::int64_t>(codePoint) + run.delta);
}

}  // namespace

char32_t PortableLowerCodePoint(char32_t codePoint) {
  return Map(lowerCaseRanges, lowerCaseRanges + lowerCaseRangeCount, codePoint);
}

void PortableUpperCase(Unit* text, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const char32_t unit = static_cast<std::uint16_t>(text[i]);
    text[i] = static_cast<Unit>(Map(upperCaseRanges, upperCaseRanges + upperCaseRangeCount, unit));
  }
}

void PortableLowerCase(Unit* text, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const char32_t unit = static_cast<std::uint16_t>(text[i]);
    const bool pairStarts = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count &&
                            static_cast<std::uint16_t>(text[i + 1]) >= 0xDC00 &&
                            static_cast<std::uint16_t>(text[i + 1]) <= 0xDFFF;
    if (!pairStarts) {
      text[i] = static_cast<Unit>(PortableLowerCodePoint(unit));
      continue;
    }
    const char32_t low = static_cast<std::uint16_t>(text[i + 1]);
    const char32_t lowered = PortableLowerCodePoint(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)) - 0x10000;
    text[i] = static_cast<Unit>(0xD800 + (lowered >> 10));
    text[i + 1] = static_cast<Unit>(0xDC00 + (lowered & 0x3FF));
    ++i;
  }
}

Text PortableLowerCased(TextView text) {
  Text copy(text);
  PortableLowerCase(copy.data(), copy.size());
  return copy;
}

Text LowerCased(TextView text) {
  Text copy(text);
  LowerCase(copy.data(), copy.size());
  return copy;
}

}  // namespace lomar
