#include "launcher/lock_name.h"

#include "core/unicode.h"

namespace lomar {

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
