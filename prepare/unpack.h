// Unpacking one entry: the stored stream whole into a buffer of exactly the entry's size. Shared by the
// launcher, whose decompressor on Windows is the Compression API, and the packer's verify and extract,
// which read the package exactly as the launcher does.
#pragma once

#include <cstdint>
#include <span>

#include "package/package_view.h"

namespace lomar {

// One decompressor serves a whole run.
class Decompressor {
 public:
  virtual ~Decompressor() = default;
  // Decompresses the whole stream into the front of buffer and returns how many bytes that was. A stream
  // it refuses throws Failure msg::cannotUnpack with the Windows error suffix.
  virtual std::uint64_t Decompress(std::span<const std::uint8_t> stream, std::span<std::uint8_t> buffer) = 0;
};

// Our own decoder behind the Compression API's contract and error numbers: a corrupt stream fails with
// ERROR_BAD_COMPRESSION_BUFFER (605), one that holds more than the buffer with ERROR_INSUFFICIENT_BUFFER
// (122), which is what the platform's Decompress reports for the same streams.
class CodecDecompressor final : public Decompressor {
 public:
  std::uint64_t Decompress(std::span<const std::uint8_t> stream, std::span<std::uint8_t> buffer) override;
};

inline constexpr std::uint32_t errorBadCompressionBuffer = 605;
inline constexpr std::uint32_t errorInsufficientBuffer = 122;

// The unpack step of an entry, into buffer (exactly the unpacked size): an empty entry stores nothing and
// is not decompressed; any other is, in one call, and must produce exactly its size. Throws the launcher's
// Failures: msg::invalidEmptyFile, msg::cannotUnpack with its suffix, msg::failedVerification.
void UnpackEntry(Decompressor& decompressor, const PackageEntry& entry, std::span<std::uint8_t> buffer);

}  // namespace lomar
