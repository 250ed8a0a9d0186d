// XPRESS-Huffman (MS-XCA LZ77+Huffman) streams in the Windows Compression API's buffer-mode framing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lomar::xpress {

enum class Level {
  fast,  // lazy parsing over hash chains
  max,   // near-optimal parsing over binary trees, costs refined over several passes
};

// How the content is cut into blocks, each coded on its own.
enum class BlockLayout {
  // Blocks of min(content size, 64 MiB): what the platform's own compressor writes, and the only layout the
  // Compression API (the launcher's decoder on Windows) has been seen to read. The default everywhere.
  platform,
  // Blocks of at most 4 MiB, in even numbers: our decoder takes them two at a time, which is faster, but the
  // Compression API is not known to read them.
  split,
};

struct CompressOptions {
  Level level = Level::max;
  unsigned threads = 0;  // 0: one per hardware thread; the output does not depend on it
  BlockLayout blocks = BlockLayout::platform;
  // When set, content bytes are added to it as their coding finishes, from whichever thread coded them, so
  // that a caller can show progress on a long file.
  std::atomic<std::uint64_t>* progress = nullptr;
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
