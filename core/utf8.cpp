// The portable strict UTF-8 decoder, following the well-formed byte sequences
// table of the Unicode standard: the second byte's range depends on the lead
// byte, which is what refuses overlongs, surrogates and values above U+10FFFF.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/unicode.h"

namespace lomar {
namespace {

struct LeadByte {
  unsigned trailCount;      // continuation bytes that follow
  std::uint8_t secondLow;   // allowed range of the byte right after the lead
  std::uint8_t secondHigh;
  std::uint32_t payload;    // the lead byte's own bits of the code point
};

std::optional<LeadByte> ClassifyLead(std::uint8_t b) {
  if (b < 0x80) return LeadByte{0, 0, 0, b};
  if (b >= 0xC2 && b <= 0xDF) return LeadByte{1, 0x80, 0xBF, b & 0x1Fu};
  if (b == 0xE0) return LeadByte{2, 0xA0, 0xBF, 0};
  if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) return LeadByte{2, 0x80, 0xBF, b & 0x0Fu};
  if (b == 0xED) return LeadByte{2, 0x80, 0x9F, 0x0D};
  if (b == 0xF0) return LeadByte{3, 0x90, 0xBF, 0};
  if (b >= 0xF1 && b <= 0xF3) return LeadByte{3, 0x80, 0xBF, b & 0x07u};
  if (b == 0xF4) return LeadByte{3, 0x80, 0x8F, 4};
  return std::nullopt;  // a stray continuation byte, C0, C1 or F5..FF
}

void AppendUtf16(Text& out, std::uint32_t codePoint) {
  if (codePoint < 0x10000) {
    out.push_back(static_cast<Unit>(codePoint));
    return;
  }
  const std::uint32_t offset = codePoint - 0x10000;
  out.push_back(static_cast<Unit>(0xD800 + (offset >> 10)));
  out.push_back(static_cast<Unit>(0xDC00 + (offset & 0x3FF)));
}

}  // namespace

std::optional<Text> PortableDecodeUtf8(const std::uint8_t* bytes, std::size_t count) {
  Text out;
  out.reserve(count);
  std::size_t i = 0;
  while (i < count) {
    const std::optional<LeadByte> lead = ClassifyLead(bytes[i]);
    if (!lead) return std::nullopt;
    if (lead->trailCount > count - i - 1) return std::nullopt;
    std::uint32_t codePoint = lead->payload;
    for (unsigned t = 1; t <= lead->trailCount; ++t) {
      const std::uint8_t b = bytes[i + t];
      const std::uint8_t low = t == 1 ? lead->secondLow : 0x80;
      const std::uint8_t high = t == 1 ? lead->secondHigh : 0xBF;
      if (b < low || b > high) return std::nullopt;
      codePoint = (codePoint << 6) | (b & 0x3Fu);
    }
    AppendUtf16(out, codePoint);
    i += 1 + lead->trailCount;
  }
  return out;
}

}  // namespace lomar
