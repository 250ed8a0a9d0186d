// XPRESS-Huffman (MS-XCA LZ77+Huffman) streams in the Windows Compression API's buffer-mode framing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lomar::xpress {

enum class Level {
  fast,  // lazy parsing over hash chains
  max,   // near-optimal parsing over binary trees, costs refined over several passes
};

struct CompressOptions {
  Level level = Level::max;
  unsigned threads = 0;  // 0: one per hardware thread; the output does not depend on it
};

// The whole content in, one stream out. Empty content gives an empty stream: the package stores nothing
// for an empty entry, and Decompress turns an empty stream back into zero bytes.
std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> content, const CompressOptions& options = {});

enum class DecodeStatus {
  ok,
  corrupt,         // anything the stream says that does not add up
  bufferTooSmall,  // the header asks for more than the buffer holds; produced says how much
};

struct DecodeResult {
  DecodeStatus status;
  std::uint64_t produced;
};

// The Compression API's Decompress in buffer mode: fills the front of buffer with the stream's content and
// says how many bytes that was. Reads nothing outside stream, writes nothing outside buffer, allocates
// nothing, and takes time bounded by the two sizes whatever the stream holds.
DecodeResult Decompress(std::span<const std::uint8_t> stream, std::span<std::uint8_t> buffer);

}  // namespace lomar::xpress
