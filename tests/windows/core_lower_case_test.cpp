// PortableLowerCase must fold together whatever CharLowerBuffW folds together:
// for every code unit u, P(u) == P(W(u)). Then W(a) == W(b) implies
// P(a) == P(b), so the packer refuses every pair of names that Windows confuses.
// Where P and W merely differ (P folds further), the test prints the units.
//
// Measured under Wine 8.0: no unit breaks the rule, and P folds further than W
// for exactly ten units, which Wine's CharLowerBuffW leaves unchanged:
//   U+0130 -> U+0069   U+01C5 -> U+01C6   U+01C8 -> U+01C9   U+01CB -> U+01CC
//   U+01F2 -> U+01F3   U+03F4 -> U+03B8   U+1E9E -> U+00DF   U+2126 -> U+03C9
//   U+212A -> U+006B   U+212B -> U+00E5
// Wine also folds 260 supplementary code points (as surrogate pairs), all of
// which P folds the same way.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "core/unicode.h"

namespace lomar {
namespace {

wchar_t WindowsLower(wchar_t unit) {
  CharLowerBuffW(&unit, 1);
  return unit;
}

wchar_t PortableLower(wchar_t unit) {
  PortableLowerCase(&unit, 1);
  return unit;
}

struct Pair {
  wchar_t high, low;
};

Pair WindowsLower(Pair pair) {
  wchar_t text[2] = {pair.high, pair.low};
  CharLowerBuffW(text, 2);
  return {text[0], text[1]};
}

Pair PortableLower(Pair pair) {
  wchar_t text[2] = {pair.high, pair.low};
  PortableLowerCase(text, 2);
  return {text[0], text[1]};
}

Pair Encode(char32_t c) {
  return {static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)), static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
}

char32_t Decode(Pair p) { return 0x10000 + ((char32_t(p.high) - 0xD800) << 10) + (char32_t(p.low) - 0xDC00); }

TEST(PortableLowerCase, FoldsEveryCodeUnitThatCharLowerBuffWFolds) {
  std::vector<unsigned> violations;
  std::vector<unsigned> widerHere;
  std::vector<unsigned> otherTarget;
  for (unsigned u = 0; u <= 0xFFFF; ++u) {
    const wchar_t unit = static_cast<wchar_t>(u);
    const wchar_t windows = WindowsLower(unit);
    const wchar_t portable = PortableLower(unit);
    if (PortableLower(windows) != portable) violations.push_back(u);
    if (portable == windows) continue;
    (windows == unit ? widerHere : otherTarget).push_back(u);
  }
  std::printf("CharLowerBuffW leaves alone, portable folds: %zu units\n", widerHere.size());
  for (unsigned u : widerHere) std::printf("  U+%04X -> U+%04X\n", u, unsigned(PortableLower(wchar_t(u))));
  std::printf("both fold, to different units: %zu units\n", otherTarget.size());
  for (unsigned u : otherTarget) {
    std::printf("  U+%04X: Windows U+%04X, portable U+%04X\n", u, unsigned(WindowsLower(wchar_t(u))),
                unsigned(PortableLower(wchar_t(u))));
  }
  for (unsigned u : violations) {
    ADD_FAILURE() << std::hex << "U+" << u << ": CharLowerBuffW gives U+" << unsigned(WindowsLower(wchar_t(u)))
                  << ", which the portable mapping folds to U+" << unsigned(PortableLower(WindowsLower(wchar_t(u))))
                  << ", but U+" << u << " itself to U+" << unsigned(PortableLower(wchar_t(u)));
  }
}

TEST(PortableLowerCase, FoldsEverySurrogatePairThatCharLowerBuffWFolds) {
  std::size_t windowsFolds = 0;
  for (char32_t c = 0x10000; c <= 0x10FFFF; ++c) {
    const Pair windows = WindowsLower(Encode(c));
    const Pair portable = PortableLower(Encode(c));
    const char32_t w = Decode(windows);
    if (w != c) ++windowsFolds;
    const char32_t throughWindows = Decode(PortableLower(windows));
    EXPECT_EQ(throughWindows, Decode(portable)) << std::hex << "U+" << unsigned(c) << ": CharLowerBuffW gives U+"
                                                << unsigned(w);
  }
  std::printf("CharLowerBuffW folds %zu supplementary code points\n", windowsFolds);
}

TEST(LowerCase, IsCharLowerBuffWInTheWindowsBuild) {
  for (unsigned u = 0; u <= 0xFFFF; ++u) {
    wchar_t unit = static_cast<wchar_t>(u);
    LowerCase(&unit, 1);
    ASSERT_EQ(unsigned(unit), unsigned(WindowsLower(wchar_t(u)))) << std::hex << u;
  }
}

}  // namespace
}  // namespace lomar
