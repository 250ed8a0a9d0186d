// The launcher decodes and folds names exactly as Windows does, so what it
// refuses as a duplicate or device name is what Windows itself would confuse.
#include <windows.h>

#include <limits>

#include "core/unicode.h"

namespace lomar {

std::optional<Text> DecodeUtf8(const std::uint8_t* bytes, std::size_t count) {
  // MultiByteToWideChar reports an empty input as a failure, but it decodes to nothing.
  if (count == 0) return Text();
  if (count > static_cast<std::size_t>(std::numeric_limits<int>::max())) return std::nullopt;
  const char* input = reinterpret_cast<const char*>(bytes);
  const int inputLength = static_cast<int>(count);
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, input, inputLength, nullptr, 0);
  if (length <= 0) return std::nullopt;
  Text text(static_cast<std::size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, input, inputLength, text.data(), length) != length) {
    return std::nullopt;
  }
  return text;
}

void LowerCase(Unit* text, std::size_t count) {
  constexpr std::size_t chunk = std::numeric_limits<DWORD>::max();
  while (count > 0) {
    const std::size_t part = count < chunk ? count : chunk;
    CharLowerBuffW(text, static_cast<DWORD>(part));
    text += part;
    count -= part;
  }
}

}  // namespace lomar
