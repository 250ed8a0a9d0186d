// The one reader of untrusted package bytes. Every read tests the remaining count
// before it touches memory, so no code outside this class does offset arithmetic
// on the image.
#pragma once

#include <cstdint>

namespace lomar {

struct ByteSpan {
  const std::uint8_t* data = nullptr;
  std::uint64_t size = 0;
};

class ByteCursor {
 public:
  ByteCursor(const std::uint8_t* data, std::uint64_t size) : next_(data), remaining_(size) {}

  // Little-endian, at whatever byte the cursor stands on.
  std::uint32_t ReadU32();
  std::uint64_t ReadU64();

  // The next `count` bytes, not copied; the cursor moves past them.
  ByteSpan Take(std::uint64_t count);

  std::uint64_t Remaining() const { return remaining_; }

 private:
  // Throws the truncation Failure when fewer than `count` bytes remain.
  void Require(std::uint64_t count) const;
  std::uint64_t ReadLittleEndian(unsigned byteCount);

  const std::uint8_t* next_;
  std::uint64_t remaining_;
};

}  // namespace lomar
