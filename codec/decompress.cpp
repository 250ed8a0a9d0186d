// Reading a buffer-mode stream: its header, then its blocks, decoded two at a time where they stand alone.
#include "codec/xpress.h"

#include <algorithm>
#include <cstring>

#include "codec/bytes.h"
#include "codec/framing.h"
#include "codec/lz_huffman.h"

namespace lomar::xpress {

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
