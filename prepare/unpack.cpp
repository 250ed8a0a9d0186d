#include "prepare/unpack.h"

#include "codec/xpress.h"
#include "core/failure.h"
#include "core/messages.h"

namespace lomar {

std::uint64_t CodecDecompressor::Decompress(std::span<const std::uint8_t> stream, std::span<std::uint8_t> buffer) {
  const xpress::DecodeResult result = xpress::Decompress(stream, buffer);
  switch (result.status) {
    case xpress::DecodeStatus::ok:
      return result.produced;
    case xpress::DecodeStatus::bufferTooSmall:
      throw Failure{WithWindowsError(msg::cannotUnpack, errorInsufficientBuffer)};
    case xpress::DecodeStatus::corrupt:
      break;
  }
  throw Failure{WithWindowsError(msg::cannotUnpack, errorBadCompressionBuffer)};
}

void UnpackEntry(Decompressor& decompressor, const PackageEntry& entry, std::span<std::uint8_t> buffer) {
  std::uint64_t produced = 0;
  if (entry.unpackedSize == 0) {
    if (entry.storedSize != 0) throw Failure{msg::invalidEmptyFile};
  } else {
    produced = decompressor.Decompress({entry.storedData, static_cast<std::size_t>(entry.storedSize)}, buffer);
  }
  if (produced != entry.unpackedSize) throw Failure{msg::failedVerification};
}

}  // namespace lomar
