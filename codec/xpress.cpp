// The buffer-mode stream around LZ77+Huffman blocks of at most 4 MiB, each coded on its own.
#include "codec/xpress.h"

#include <algorithm>
#include <cstring>

#include "codec/bytes.h"
#include "codec/framing.h"
#include "codec/lz_huffman.h"

namespace lomar::xpress {

std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> content, const CompressOptions& options) {
  std::vector<std::uint8_t> out;
  if (content.empty()) return out;
  out.resize(headerSize);
  WriteHeader(content.size(), std::span<std::uint8_t, headerSize>(out.data(), headerSize));
  const std::size_t blockSize = static_cast<std::size_t>(BlockSizeFor(content.size()));
  const std::vector<std::vector<std::uint8_t>> coded =
      EncodeLzHuffmanBlocks(content, blockSize, options.level, options.threads);
  for (std::size_t b = 0; b < coded.size(); ++b) {
    const auto block = content.subspan(b * blockSize, std::min(blockSize, content.size() - b * blockSize));
    // A byte count equal to the block's length means stored as is, so coding must come out strictly shorter.
    const bool raw = coded[b].size() >= block.size();
    const auto& bytes = raw ? std::span<const std::uint8_t>(block) : std::span<const std::uint8_t>(coded[b]);
    const std::size_t at = out.size();
    out.resize(at + 4 + bytes.size());
    Store32(&out[at], static_cast<std::uint32_t>(bytes.size()));
    std::memcpy(&out[at + 4], bytes.data(), bytes.size());
  }
  return out;
}

DecodeResult Decompress(std::span<const std::uint8_t> stream, std::span<std::uint8_t> buffer) {
  if (stream.empty()) return {DecodeStatus::ok, 0};
  const auto header = ReadHeader(stream);
  if (!header) return {DecodeStatus::corrupt, 0};
  if (header->unpackedSize > buffer.size()) return {DecodeStatus::bufferTooSmall, header->unpackedSize};
  const std::size_t size = static_cast<std::size_t>(header->unpackedSize);
  const auto content = buffer.first(size);
  {
    BlockCursor cursor(stream, *header);
    CursorBlocks blocks(cursor);
    if (DecodeLzHuffmanBlocks(blocks, content) && cursor.finished()) return {DecodeStatus::ok, size};
    if (cursor.failed()) return {DecodeStatus::corrupt, 0};
  }
  // We code blocks on their own, but a match reaching into an earlier block is still accepted: its bytes
  // are in the buffer, and being lenient there cannot turn away a stream another compressor wrote. Such a
  // stream, or a corrupt one, is decoded again one block after another.
  BlockCursor cursor(stream, *header);
  CursorBlocks blocks(cursor);
  while (const auto block = blocks.Next()) {
    if (block->raw) {
      std::memcpy(content.data() + block->begin, block->bytes.data(), block->end - block->begin);
    } else if (!DecodeLzHuffman(block->bytes, content.first(block->end), block->begin)) {
      return {DecodeStatus::corrupt, 0};
    }
  }
  if (!cursor.finished()) return {DecodeStatus::corrupt, 0};
  return {DecodeStatus::ok, header->unpackedSize};
}

}  // namespace lomar::xpress
