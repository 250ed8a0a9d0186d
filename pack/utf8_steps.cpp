#include "pack/utf8_steps.h"

#include <cstdint>
#include <optional>

#include "core/unicode.h"

namespace lomar::pack {
namespace {

std::size_t SequenceLength(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

Utf8Step NextUtf8Step(std::string_view text, std::size_t at) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data()) + at;
  const std::size_t length = SequenceLength(bytes[0]);
  // The strict decoder judges the one sequence the lead byte announces: overlongs, surrogates, code points
  // past U+10FFFF and cut sequences are not well-formed.
  std::optional<Text> decoded;
  if (length != 0 && length <= text.size() - at) decoded = PortableDecodeUtf8(bytes, length);
  if (!decoded) return {0, 1, false};
  char32_t codePoint = static_cast<std::uint16_t>((*decoded)[0]);
  if (decoded->size() == 2)
    codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (static_cast<std::uint16_t>((*decoded)[1]) - 0xDC00);
  return {codePoint, length, true};
}

}  // namespace lomar::pack
