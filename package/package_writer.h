// Lays entries out as a package image, refusing whatever the loader would refuse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/text.h"
#include "package/format.h"

namespace lomar {

struct PackageInput {
  std::string name;  // UTF-8, exactly as it will be stored
  std::uint64_t unpackedSize = 0;
  Digest digest{};
  std::span<const std::uint8_t> storedBytes;
};

// Why WritePackage refused: the loader's own message for the same fault, and the
// entry it concerns (noEntry when it concerns the package as a whole).
class PackageWriteError : public std::runtime_error {
 public:
  static constexpr std::size_t noEntry = static_cast<std::size_t>(-1);

  PackageWriteError(Text reason, std::size_t entry, const std::string& entryName);

  const Text& Reason() const { return reason_; }
  std::size_t Entry() const { return entry_; }

 private:
  Text reason_;
  std::size_t entry_;
};

// A package image as the pieces that make it up, in order: the header and each
// entry's fields and name, held here, and each entry's stored bytes, left where
// the caller holds them (they must outlive the layout), so that a large package
// is written out without being copied into one more buffer.
struct PackageLayout {
  std::vector<std::uint8_t> headers;  // every header and name, back to back
  std::vector<std::span<const std::uint8_t>> pieces;
  std::uint64_t size = 0;
};

// Entries are laid out in the order given; letter case is kept. Throws
// PackageWriteError before allocating anything when the loader would refuse the
// package.
PackageLayout LayOutPackage(std::span<const PackageInput> entries);

// The same package as one image.
std::vector<std::uint8_t> WritePackage(std::span<const PackageInput> entries);

}  // namespace lomar
