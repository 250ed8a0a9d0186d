// Where Windows is not there to ask, the portable versions are the platform's.
#include "core/unicode.h"

namespace lomar {

std::optional<Text> DecodeUtf8(const std::uint8_t* bytes, std::size_t count) {
  return PortableDecodeUtf8(bytes, count);
}

void LowerCase(Unit* text, std::size_t count) { PortableLowerCase(text, count); }

}  // namespace lomar
