// The byte layout of the embedded package and its fixed bounds.
#pragma once

#include <array>
#include <cstdint>

namespace lomar {

// A SHA-256 value as the hash function emits it; compared as a byte string.
using Digest = std::array<std::uint8_t, 32>;

}  // namespace lomar
