#include "codec/framing.h"

#include <algorithm>

#include "codec/bytes.h"
#include "codec/crc32.h"

namespace lomar::xpress {
namespace {

constexpr std::uint8_t magic[4] = {0x0A, 0x51, 0xE5, 0xC0};

}  // namespace

std::uint8_t HeaderChecksum(std::span<const std::uint8_t, headerSize> header) {
  std::uint32_t crc = Crc32(header.first(6));
  crc = Crc32(header.subspan(7), crc);
  return static_cast<std::uint8_t>(crc);
}

std::uint64_t BlockSizeFor(std::uint64_t unpackedSize, BlockLayout layout) {
  if (layout == BlockLayout::platform) return std::min(unpackedSize, platformBlockSize);
  if (unpackedSize <= maxSplitBlockSize) return unpackedSize;
  const std::uint64_t pairs = (unpackedSize + 2 * maxSplitBlockSize - 1) / (2 * maxSplitBlockSize);
  const std::uint64_t half = (unpackedSize + 2 * pairs - 1) / (2 * pairs);
  return (half + 65535) / 65536 * 65536;
}

void WriteHeader(std::uint64_t unpackedSize, std::uint64_t blockSize, std::span<std::uint8_t, headerSize> out) {
  std::copy(std::begin(magic), std::end(magic), out.begin());
  Store16(&out[4], headerSize);
  out[6] = 0;
  out[7] = algorithmXpressHuffman;
  Store64(&out[8], unpackedSize);
  Store64(&out[16], blockSize);
  out[6] = HeaderChecksum(out);
}

std::optional<StreamHeader> ReadHeader(std::span<const std::uint8_t> stream) {
  if (stream.size() < headerSize) return std::nullopt;
  if (!std::equal(std::begin(magic), std::end(magic), stream.begin())) return std::nullopt;
  if (Load16(&stream[4]) != headerSize || stream[7] != algorithmXpressHuffman) return std::nullopt;
  StreamHeader header;
  header.checksum = stream[6];
  header.checksumMatches = header.checksum == HeaderChecksum(stream.first<headerSize>());
  header.unpackedSize = Load64(&stream[8]);
  header.blockSize = Load64(&stream[16]);
  if (header.unpackedSize != 0 && header.blockSize == 0) return std::nullopt;
  return header;
}

BlockCursor::BlockCursor(std::span<const std::uint8_t> stream, const StreamHeader& header)
    : stream_(stream), blockSize_(header.blockSize), remainingContent_(header.unpackedSize) {}

std::optional<BlockCursor::Block> BlockCursor::Next() {
  if (failed_ || remainingContent_ == 0) return std::nullopt;
  if (stream_.size() - offset_ < 4) {
    failed_ = true;
    return std::nullopt;
  }
  const std::uint32_t count = Load32(&stream_[offset_]);
  offset_ += 4;
  if (count == 0 || stream_.size() - offset_ < count) {
    failed_ = true;
    return std::nullopt;
  }
  Block block;
  block.offset = offset_;
  block.bytes = stream_.subspan(offset_, count);
  block.unpackedSize = std::min(blockSize_, remainingContent_);
  block.raw = count == block.unpackedSize;
  offset_ += count;
  remainingContent_ -= block.unpackedSize;
  return block;
}

std::optional<StreamBlock> CursorBlocks::Next() {
  const auto block = cursor_.Next();
  if (!block) return std::nullopt;
  const std::size_t begin = done_;
  done_ += static_cast<std::size_t>(block->unpackedSize);
  return StreamBlock{block->bytes, begin, done_, block->raw};
}

}  // namespace lomar::xpress
