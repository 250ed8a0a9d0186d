#include "package/entry_checks.h"

#include <optional>

#include "core/failure.h"
#include "core/messages.h"
#include "package/entry_path.h"
#include "package/format.h"
#include "core/unicode.h"

namespace lomar {

void CheckEntrySizes(std::uint64_t nameLength, std::uint64_t unpackedSize, std::uint64_t storedSize,
                     std::uint64_t unpackedTotal) {
  // Unsigned wrap turns a zero length into the largest value; the running total
  // never passes its bound, so the subtraction cannot wrap.
  if (nameLength - 1u > format::maxNameBytes - 1u || unpackedSize > format::maxUnpackedTotal - unpackedTotal ||
      storedSize > format::maxStoredSize) {
    throw Failure{msg::invalidEntrySize};
  }
}

Text AcceptEntryName(const std::uint8_t* bytes, std::size_t count, NameSet& lowerNames) {
  std::optional<Text> name = DecodeUtf8(bytes, count);
  if (!name) throw Failure{msg::invalidFilename};
  CheckEntryPath(*name);
  if (!lowerNames.insert(LowerCased(*name)).second) throw Failure{msg::duplicateFilename};
  return std::move(*name);
}

bool HoldsGameExe(const NameSet& lowerNames) {
  // A name with a separator cannot equal this, so finding it means the top level.
  return lowerNames.count(Text(format::gameExeName.begin(), format::gameExeName.end())) != 0;
}

}  // namespace lomar
