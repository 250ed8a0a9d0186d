// The loaded package: one record per entry, in stored order, pointing into the
// package image for its stored bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "core/text.h"
#include "package/format.h"

namespace lomar {

struct PackageEntry {
  Text name;  // decoded, letter case as stored, "/" between components
  std::uint64_t unpackedSize;
  Digest digest;
  const std::uint8_t* storedData;  // inside the image, which outlives the view
  std::uint64_t storedSize;
};

using PackageView = std::vector<PackageEntry>;

}  // namespace lomar
