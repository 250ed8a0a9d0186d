// One plain MS-XCA LZ77+Huffman stream: 64 KiB sub-blocks, each a 256-byte table of 4-bit code lengths and
// a bit stream of 16-bit little-endian words read from the most significant bit, with the long-length bytes
// interleaved at the position right after the two words the reader holds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/xpress.h"

namespace lomar::xpress {

inline constexpr std::size_t subBlockSize = 65536;
inline constexpr std::size_t maxDistance = 65535;

// Decodes the stream into out[begin, end). Matches may reach back to out[0], so content decoded before
// begin serves as history. False on anything corrupt; out[begin, end) is then unspecified.
bool DecodeLzHuffman(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t begin);

// One block of a framed stream: out[begin, end) is its content, stored as is or coded as one stream.
struct StreamBlock {
  std::span<const std::uint8_t> bytes;
  std::size_t begin;
  std::size_t end;
  bool raw;
};

class BlockSource {
 public:
  virtual std::optional<StreamBlock> Next() = 0;

 protected:
  ~BlockSource() = default;
};

// Decodes every block the source gives, in order, each into its own range of out, two at a time side by
// side, which is faster than one after the other. Each block stands alone here: false if a match reaches
// in front of its block, as on anything corrupt, and out is then unspecified. Takes about 170 KiB of stack.
bool DecodeLzHuffmanBlocks(BlockSource& blocks, std::span<std::uint8_t> out);

// Encodes data as one stream ending in the end-of-data symbol. Sub-blocks hold exactly 64 KiB (the last
// one the rest) and no match crosses their ends, so any reading of where a sub-block stops agrees with
// ours. The work is split into fixed segments that each see the history before them, so the bytes do not
// depend on threads (0: one per hardware thread).
std::vector<std::uint8_t> EncodeLzHuffman(std::span<const std::uint8_t> data, Level level, unsigned threads);

// One fixed segment of a block's stream; a block's segments, joined in order, are its stream.
struct CodedSegment {
  std::size_t block = 0;
  std::vector<std::uint8_t> bytes;
};

// The content cut into blocks of blockSize bytes (the last one the rest), each encoded as EncodeLzHuffman
// would on its own, and handed back as the segments of each block in order, so that a caller can join them
// where they go without holding each stream twice. Content bytes are added to progress, when set, as their
// segments finish.
std::vector<CodedSegment> EncodeLzHuffmanSegments(std::span<const std::uint8_t> data, std::size_t blockSize,
                                                  Level level, unsigned threads,
                                                  std::atomic<std::uint64_t>* progress);

// The same, one stream per block.
std::vector<std::vector<std::uint8_t>> EncodeLzHuffmanBlocks(std::span<const std::uint8_t> data,
                                                             std::size_t blockSize, Level level, unsigned threads);

}  // namespace lomar::xpress
