#include "package/package_writer.h"

#include <cstdint>

#include "core/failure.h"
#include "core/messages.h"
#include "package/entry_checks.h"
#include "package/package_loader.h"

namespace lomar {
namespace {

std::string Describe(const Text& reason, std::size_t entry, const std::string& entryName) {
  std::string what = ToUtf8(reason);
  if (entry != PackageWriteError::noEntry) what += " (entry " + std::to_string(entry + 1) + ": " + entryName + ")";
  return what;
}

void AppendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned byteCount) {
  for (unsigned i = 0; i < byteCount; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

}  // namespace

PackageWriteError::PackageWriteError(Text reason, std::size_t entry, const std::string& entryName)
    : std::runtime_error(Describe(reason, entry, entryName)), reason_(std::move(reason)), entry_(entry) {}

PackageLayout LayOutPackage(std::span<const PackageInput> entries) {
  // The same order as the loader: the image size, the count, each entry, the game.
  std::uint64_t imageSize = format::headerSize;
  for (const PackageInput& entry : entries) {
    imageSize = SaturatingAdd(imageSize, format::entryHeaderSize);
    imageSize = SaturatingAdd(imageSize, entry.name.size());
    imageSize = SaturatingAdd(imageSize, entry.storedBytes.size());
  }
  try {
    CheckImageSize(imageSize);
  } catch (const Failure& failure) {
    throw PackageWriteError(failure.message, PackageWriteError::noEntry, {});
  }
  if (entries.empty() || entries.size() > format::maxEntryCount) {
    throw PackageWriteError(msg::invalidFileCount, PackageWriteError::noEntry, {});
  }
  // The loader's tests of each entry, in its order, minus the truncation tests
  // that a written image cannot fail.
  NameSet lowerNames;
  std::uint64_t unpackedTotal = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const PackageInput& entry = entries[i];
    try {
      CheckEntrySizes(entry.name.size(), entry.unpackedSize, entry.storedBytes.size(), unpackedTotal);
      AcceptEntryName(reinterpret_cast<const std::uint8_t*>(entry.name.data()), entry.name.size(), lowerNames);
    } catch (const Failure& failure) {
      throw PackageWriteError(failure.message, i, entry.name);
    }
    unpackedTotal += entry.unpackedSize;
  }
  if (!HoldsGameExe(lowerNames)) {
    throw PackageWriteError(msg::incompletePackage, PackageWriteError::noEntry, {});
  }

  PackageLayout layout;
  std::uint64_t headerBytes = format::headerSize;
  for (const PackageInput& entry : entries) headerBytes += format::entryHeaderSize + entry.name.size();
  layout.headers.reserve(static_cast<std::size_t>(headerBytes));
  std::vector<std::size_t> headerEnds;
  for (const std::uint8_t b : format::magic) layout.headers.push_back(b);
  AppendLittleEndian(layout.headers, entries.size(), format::entryCountSize);
  for (const PackageInput& entry : entries) {
    AppendLittleEndian(layout.headers, entry.name.size(), format::nameLengthSize);
    AppendLittleEndian(layout.headers, entry.unpackedSize, format::unpackedSizeSize);
    AppendLittleEndian(layout.headers, entry.storedBytes.size(), format::storedSizeSize);
    layout.headers.insert(layout.headers.end(), entry.digest.begin(), entry.digest.end());
    layout.headers.insert(layout.headers.end(), entry.name.begin(), entry.name.end());
    headerEnds.push_back(layout.headers.size());
  }
  // Spans into the headers are taken only now that the buffer has stopped growing.
  std::size_t from = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    layout.pieces.emplace_back(layout.headers.data() + from, headerEnds[i] - from);
    if (!entries[i].storedBytes.empty()) layout.pieces.push_back(entries[i].storedBytes);
    from = headerEnds[i];
  }
  layout.size = imageSize;
  return layout;
}

std::vector<std::uint8_t> WritePackage(std::span<const PackageInput> entries) {
  const PackageLayout layout = LayOutPackage(entries);
  std::vector<std::uint8_t> image;
  image.reserve(static_cast<std::size_t>(layout.size));
  for (const auto piece : layout.pieces) image.insert(image.end(), piece.begin(), piece.end());
  return image;
}

}  // namespace lomar
