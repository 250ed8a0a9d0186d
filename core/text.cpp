#include "core/text.h"

#include <cstdint>

namespace lomar {

Text WidenAscii(std::string_view ascii) { return Text(ascii.begin(), ascii.end()); }

Text ToLowerHex(std::span<const std::uint8_t> bytes) {
  constexpr TextView digits = LT("0123456789abcdef");
  Text hex;
  hex.reserve(2 * bytes.size());
  for (const std::uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

namespace {

// Calls put(bytes, count) for each character's UTF-8 form, stopping early when it returns false.
template <typename Put>
void EncodeUtf8(TextView text, Put put) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = static_cast<std::uint16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    char bytes[4];
    std::size_t count;
    if (c < 0x80) {
      bytes[0] = static_cast<char>(c);
      count = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (c >> 6));
      bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
      count = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (c >> 12));
      bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
      count = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (c >> 18));
      bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
      count = 4;
    }
    if (!put(bytes, count)) return;
  }
}

}  // namespace

std::string ToUtf8(TextView text) {
  std::string out;
  out.reserve(text.size());
  EncodeUtf8(text, [&out](const char* bytes, std::size_t count) {
    out.append(bytes, count);
    return true;
  });
  return out;
}

std::size_t ToUtf8(TextView text, std::span<char> out) noexcept {
  std::size_t written = 0;
  EncodeUtf8(text, [&](const char* bytes, std::size_t count) {
    if (out.size() - written < count) return false;
    for (std::size_t k = 0; k < count; ++k) out[written++] = bytes[k];
    return true;
  });
  return written;
}

}  // namespace lomar
