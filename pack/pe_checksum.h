// The CheckSum field of the optional header, over a file given in pieces.
#pragma once

#include <cstdint>
#include <span>

namespace lomar::pe {

// The 16-bit little-endian words of the file (a last odd byte padded with zero)
// summed with end-around carry, the 4 bytes at `fieldOffset` counted as zero,
// plus the file's length. The file is the concatenation of `pieces`, of any length each.
std::uint32_t PeChecksum(std::span<const std::span<const std::uint8_t>> pieces, std::uint64_t fieldOffset);

}  // namespace lomar::pe
