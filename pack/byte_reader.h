// The one reader of untrusted executable and icon bytes. Every read tests the
// remaining count before it touches memory, so no code outside this class does
// offset arithmetic on a file. Each reader carries the message it fails with,
// naming the structure being read, so that a truncation says what was cut.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace lomar::pe {

// Throws the error type of the file being read (PeError or IconError).
using Refusal = void (*)(const std::string& message);
[[noreturn]] void RefuseExecutable(const std::string& message);
[[noreturn]] void RefuseIcon(const std::string& message);

class ByteReader {
 public:
  // `truncated` must outlive the reader and every reader made from it (literals do).
  ByteReader(std::span<const std::uint8_t> bytes, const char* truncated, Refusal refuse)
      : bytes_(bytes), truncated_(truncated), refuse_(refuse) {}

  // A reader over the same bytes from `offset` of them (not of what remains).
  // `truncated` is what it fails with, here when `offset` is past the end and later.
  ByteReader At(std::uint64_t offset, const char* truncated) const;
  // The next `count` bytes as a reader of their own; this one moves past them.
  ByteReader Window(std::uint64_t count, const char* truncated);

  // Little-endian, at whatever byte the reader stands on.
  std::uint8_t ReadU8() { return static_cast<std::uint8_t>(ReadLittleEndian(1)); }
  std::uint16_t ReadU16() { return static_cast<std::uint16_t>(ReadLittleEndian(2)); }
  std::uint32_t ReadU32() { return static_cast<std::uint32_t>(ReadLittleEndian(4)); }
  std::uint64_t ReadU64() { return ReadLittleEndian(8); }

  // The next `count` bytes, not copied; the reader moves past them.
  std::span<const std::uint8_t> Take(std::uint64_t count);
  void Skip(std::uint64_t count) { Take(count); }

  std::uint64_t Remaining() const { return bytes_.size() - position_; }
  // Where the reader stands within the bytes it was made over.
  std::uint64_t Position() const { return position_; }

 private:
  // Fails with truncated_ when fewer than `count` bytes remain.
  void Require(std::uint64_t count) const;
  std::uint64_t ReadLittleEndian(unsigned byteCount);

  std::span<const std::uint8_t> bytes_;
  std::uint64_t position_ = 0;
  const char* truncated_;
  Refusal refuse_;
};

}  // namespace lomar::pe
