#include "pack/byte_reader.h"

#include "pack/pe_error.h"

namespace lomar::pe {

void RefuseExecutable(const std::string& message) { throw PeError(message); }

void RefuseIcon(const std::string& message) { throw IconError(message); }

void ByteReader::Require(std::uint64_t count) const {
  if (count > Remaining()) refuse_(truncated_);
}

std::uint64_t ByteReader::ReadLittleEndian(unsigned byteCount) {
  Require(byteCount);
  std::uint64_t value = 0;
  for (unsigned i = 0; i < byteCount; ++i) value |= static_cast<std::uint64_t>(bytes_[position_ + i]) << (8 * i);
  position_ += byteCount;
  return value;
}

std::span<const std::uint8_t> ByteReader::Take(std::uint64_t count) {
  Require(count);
  const std::span<const std::uint8_t> taken = bytes_.subspan(position_, count);
  position_ += count;
  return taken;
}

ByteReader ByteReader::At(std::uint64_t offset, const char* truncated) const {
  if (offset > bytes_.size()) refuse_(truncated);
  ByteReader reader(bytes_, truncated, refuse_);
  reader.position_ = offset;
  return reader;
}

ByteReader ByteReader::Window(std::uint64_t count, const char* truncated) {
  if (count > Remaining()) refuse_(truncated);
  ByteReader window(bytes_.subspan(position_, count), truncated, refuse_);
  position_ += count;
  return window;
}

}  // namespace lomar::pe
