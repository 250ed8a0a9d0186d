#include "package/package_loader.h"

#include <algorithm>

#include "core/failure.h"
#include "core/messages.h"
#include "package/byte_cursor.h"
#include "package/entry_checks.h"

namespace lomar {

void CheckImageSize(std::uint64_t size) {
  if (size < format::minImageSize || size > format::maxImageSize) throw Failure{msg::invalidPackageSize};
}

PackageView LoadPackage(const std::uint8_t* image, std::uint64_t size) {
  CheckImageSize(size);
  if (image == nullptr) throw Failure{msg::cannotReadPackage};
  ByteCursor cursor(image, size);

  const ByteSpan magic = cursor.Take(format::magicSize);
  if (!std::equal(format::magic.begin(), format::magic.end(), magic.data)) throw Failure{msg::unsupportedFormat};
  const std::uint32_t count = cursor.ReadU32();
  // Unsigned wrap makes 0 the largest value, so one test covers both ends.
  if (count - 1u > format::maxEntryCount - 1u) throw Failure{msg::invalidFileCount};

  PackageView view;
  NameSet lowerNames;
  std::uint64_t unpackedTotal = 0;
  for (std::uint32_t index = 0; index < count; ++index) {
    const std::uint32_t nameLength = cursor.ReadU32();
    const std::uint64_t unpackedSize = cursor.ReadU64();
    const std::uint64_t storedSize = cursor.ReadU64();
    CheckEntrySizes(nameLength, unpackedSize, storedSize, unpackedTotal);

    const ByteSpan digest = cursor.Take(format::digestSize);
    const ByteSpan nameBytes = cursor.Take(nameLength);
    Text name = AcceptEntryName(nameBytes.data, nameLength, lowerNames);
    const ByteSpan stored = cursor.Take(storedSize);

    PackageEntry& entry = view.emplace_back();
    entry.name = std::move(name);
    entry.unpackedSize = unpackedSize;
    std::copy_n(digest.data, format::digestSize, entry.digest.begin());
    entry.storedData = stored.data;
    entry.storedSize = stored.size;
    unpackedTotal += unpackedSize;
  }

  if (cursor.Remaining() != 0) throw Failure{msg::incompletePackage};
  if (!HoldsGameExe(lowerNames)) throw Failure{msg::incompletePackage};
  return view;
}

}  // namespace lomar
