// The writing side of ByteReader: little-endian fields appended to the bytes of a structure being laid out
// (resource directories, icon groups, version resources).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace lomar::pe {

class ByteAppender {
 public:
  // `out` must outlive the appender.
  explicit ByteAppender(std::vector<std::uint8_t>& out) : out_(out) {}
  void U16(std::uint32_t value) { LittleEndian(value, 2); }
  void U32(std::uint32_t value) { LittleEndian(value, 4); }
  void Bytes(std::span<const std::uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

 private:
  void LittleEndian(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  std::vector<std::uint8_t>& out_;
};

}  // namespace lomar::pe
