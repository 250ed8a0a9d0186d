#include "package/byte_cursor.h"

#include "core/failure.h"
#include "core/messages.h"

namespace lomar {

void ByteCursor::Require(std::uint64_t count) const {
  if (count > remaining_) throw Failure{msg::truncatedPackage};
}

std::uint64_t ByteCursor::ReadLittleEndian(unsigned byteCount) {
  Require(byteCount);
  std::uint64_t value = 0;
  for (unsigned i = 0; i < byteCount; ++i) value |= static_cast<std::uint64_t>(next_[i]) << (8 * i);
  next_ += byteCount;
  remaining_ -= byteCount;
  return value;
}

std::uint32_t ByteCursor::ReadU32() { return static_cast<std::uint32_t>(ReadLittleEndian(4)); }

std::uint64_t ByteCursor::ReadU64() { return ReadLittleEndian(8); }

ByteSpan ByteCursor::Take(std::uint64_t count) {
  Require(count);
  const ByteSpan span{next_, count};
  // A zero-byte take from an empty span must not form a pointer past a null one.
  if (count != 0) next_ += count;
  remaining_ -= count;
  return span;
}

}  // namespace lomar
