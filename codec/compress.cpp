// The buffer-mode stream around LZ77+Huffman blocks, each coded on its own. Apart from decompression, so
// that the launcher, which only decodes, carries none of the encoder.
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
  const std::uint64_t blockSize = BlockSizeFor(content.size(), options.blocks);
  std::vector<CodedSegment> parts = EncodeLzHuffmanSegments(content, static_cast<std::size_t>(blockSize),
                                                             options.level, options.threads, options.progress);
  const std::size_t blocks = parts.back().block + 1;
  std::vector<std::uint64_t> coded(blocks, 0);
  for (const CodedSegment& part : parts) coded[part.block] += part.bytes.size();
  // A byte count equal to the block's length means stored as is, so coding must come out strictly shorter.
  std::vector<bool> raw(blocks);
  std::uint64_t total = headerSize;
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::uint64_t length = std::min<std::uint64_t>(blockSize, content.size() - b * blockSize);
    raw[b] = coded[b] >= length;
    total += 4 + (raw[b] ? length : coded[b]);
  }
  // One allocation of the exact size, each segment released once copied: a large file's stream is held
  // about once, not twice.
  out.reserve(static_cast<std::size_t>(total));
  out.resize(headerSize);
  WriteHeader(content.size(), blockSize, std::span<std::uint8_t, headerSize>(out.data(), headerSize));
  std::size_t next = 0;
  for (std::size_t b = 0; b < blocks; ++b) {
    const auto block = content.subspan(b * blockSize, std::min<std::size_t>(blockSize, content.size() - b * blockSize));
    std::uint8_t count[4];
    Store32(count, static_cast<std::uint32_t>(raw[b] ? block.size() : coded[b]));
    out.insert(out.end(), count, count + 4);
    if (raw[b]) out.insert(out.end(), block.begin(), block.end());
    for (; next < parts.size() && parts[next].block == b; ++next) {
      if (!raw[b]) out.insert(out.end(), parts[next].bytes.begin(), parts[next].bytes.end());
      std::vector<std::uint8_t>().swap(parts[next].bytes);
    }
  }
  return out;
}

}  // namespace lomar::xpress
