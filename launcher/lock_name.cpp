#include "launcher/lock_name.h"

#include "core/unicode.h"

namespace lomar {

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

Text FolderLockName(std::span<const std::uint8_t, 32> folderDigest) {
  return Text(LT("Local\\LOMARPortable-")) + ToLowerHex(folderDigest);
}

std::vector<std::uint8_t> FolderLockDigestInput(TextView exeDir) {
  // Only the copy is lower-cased; exeDir keeps its case everywhere else.
  const Text lower = LowerCased(exeDir);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * lower.size());
  for (const Unit unit : lower) {
    const auto value = static_cast<std::uint16_t>(unit);
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  return bytes;
}

}  // namespace lomar
