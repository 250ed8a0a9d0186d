// The tests every entry passes, shared by the loader and the writer so that the
// packer refuses exactly the entries the launcher would refuse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>

#include "core/text.h"

namespace lomar {

// The lower-cased names of the entries accepted so far.
using NameSet = std::set<Text>;

// Throws msg::invalidEntrySize unless the name length lies in 1..2048, the
// unpacked size keeps the running total within its bound, and the stored size
// is within its own.
void CheckEntrySizes(std::uint64_t nameLength, std::uint64_t unpackedSize, std::uint64_t storedSize,
                     std::uint64_t unpackedTotal);

// Decodes the name, applies the path rules and records its lower-cased form,
// refusing one already recorded. Returns the name as stored.
Text AcceptEntryName(const std::uint8_t* bytes, std::size_t count, NameSet& lowerNames);

// Whether a top-level game executable was among the accepted names.
bool HoldsGameExe(const NameSet& lowerNames);

}  // namespace lomar
