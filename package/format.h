// The byte layout of the embedded package and its fixed bounds: the one place
// that the loader, the writer and the tests take them from.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace lomar {

// A SHA-256 value as the hash function emits it; compared as a byte string.
using Digest = std::array<std::uint8_t, 32>;

namespace format {

// Where the package lies: resource 101 of type RT_RCDATA (10) in the launcher's
// own module.
inline constexpr std::uint16_t resourceId = 101;
inline constexpr std::uint16_t resourceType = 10;

// Header: magic, then a u32 entry count. Every integer is little-endian and
// unaligned; nothing pads between fields.
inline constexpr std::array<std::uint8_t, 8> magic = {'L', 'O', 'M', 'P', 'K', 'G', '0', '1'};
inline constexpr std::uint64_t magicSize = 8;
inline constexpr std::uint64_t entryCountSize = 4;
inline constexpr std::uint64_t headerSize = magicSize + entryCountSize;

// One entry: u32 name length, u64 unpacked size, u64 stored size, 32 digest
// bytes, the UTF-8 name, then the stored bytes.
inline constexpr std::uint64_t nameLengthSize = 4;
inline constexpr std::uint64_t unpackedSizeSize = 8;
inline constexpr std::uint64_t storedSizeSize = 8;
inline constexpr std::uint64_t entryFixedSize = nameLengthSize + unpackedSizeSize + storedSizeSize;
inline constexpr std::uint64_t digestSize = Digest().size();
inline constexpr std::uint64_t entryHeaderSize = entryFixedSize + digestSize;

// Bounds, tested before anything is allocated for what they limit.
inline constexpr std::uint64_t minImageSize = headerSize;
inline constexpr std::uint64_t maxImageSize = 0x20000000;
inline constexpr std::uint32_t maxEntryCount = 4096;
inline constexpr std::uint32_t maxNameBytes = 2048;
inline constexpr std::uint64_t maxUnpackedTotal = 0x20000000;
inline constexpr std::uint64_t maxStoredSize = 0x20000000;

// The game executable's entry name once lower-cased; it stands at the top level.
inline constexpr std::string_view gameExeName = "lomarvesperon.exe";

static_assert(headerSize == 12);
static_assert(entryFixedSize == 20);
static_assert(entryHeaderSize == 52);

}  // namespace format
}  // namespace lomar
