// The buffer-mode framing: a 24-byte header, then blocks each of a 4-byte byte count and its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "codec/lz_huffman.h"

namespace lomar::xpress {

inline constexpr std::size_t headerSize = 24;
inline constexpr std::uint8_t algorithmXpressHuffman = 4;
// The platform's compressor cuts content into blocks of 64 MiB.
inline constexpr std::uint64_t platformBlockSize = 64ull << 20;
// In the split layout blocks are at most 4 MiB, which keeps what the restarts cost in size to about 0.05%.
inline constexpr std::uint64_t maxSplitBlockSize = 4ull << 20;

// The block size for content of the given size. Platform: all of it up to 64 MiB, then 64 MiB. Split: all of
// it up to 4 MiB, and past that an even number of blocks of at most 4 MiB (whole 64 KiB sub-blocks), so
// that no block is left to decode alone.
std::uint64_t BlockSizeFor(std::uint64_t unpackedSize, BlockLayout layout);

struct StreamHeader {
  std::uint8_t checksum = 0;
  bool checksumMatches = false;  // written right by us; not known to matter to Windows, so never required
  std::uint64_t unpackedSize = 0;
  std::uint64_t blockSize = 0;
};

// The checksum byte: the low byte of the CRC-32 of the other 23 header bytes.
std::uint8_t HeaderChecksum(std::span<const std::uint8_t, headerSize> header);

// The header for content of the given size cut into blocks of blockSize.
void WriteHeader(std::uint64_t unpackedSize, std::uint64_t blockSize, std::span<std::uint8_t, headerSize> out);

// Null unless the stream starts with a header of the buffer-mode XPRESS-Huffman kind that we can follow:
// magic, header size 24, algorithm 4, and a block size that is not 0 while there is content.
std::optional<StreamHeader> ReadHeader(std::span<const std::uint8_t> stream);

// Walks the blocks after the header, one at a time, never trusting a count beyond the bytes present.
class BlockCursor {
 public:
  struct Block {
    std::uint64_t offset;  // of the block's bytes in the stream, after its count
    std::span<const std::uint8_t> bytes;
    std::uint64_t unpackedSize;
    bool raw;
  };

  BlockCursor(std::span<const std::uint8_t> stream, const StreamHeader& header);

  // The next block, or null at the end or on a count that runs past the stream (see failed()).
  std::optional<Block> Next();
  bool failed() const { return failed_; }
  // True once every block has been read and the last one ended at the stream's last byte.
  bool finished() const { return !failed_ && remainingContent_ == 0 && offset_ == stream_.size(); }

 private:
  std::span<const std::uint8_t> stream_;
  std::uint64_t blockSize_;
  std::uint64_t remainingContent_;
  std::size_t offset_ = headerSize;
  bool failed_ = false;
};

// The blocks a cursor walks, as the decoder takes them: each with its place in the content.
class CursorBlocks final : public BlockSource {
 public:
  explicit CursorBlocks(BlockCursor& cursor) : cursor_(cursor) {}
  std::optional<StreamBlock> Next() override;

 private:
  BlockCursor& cursor_;
  std::size_t done_ = 0;
};

}  // namespace lomar::xpress
