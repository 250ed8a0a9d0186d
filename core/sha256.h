// SHA-256 in portable C++, for the programs that run where Windows' CNG does not: the packer digests every
// file it packs and checks every entry it verifies or extracts. The launcher itself digests through CNG.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace lomar {

class Sha256 {
 public:
  Sha256();
  void Update(std::span<const std::uint8_t> bytes);
  // The digest of everything given so far; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
};

std::array<std::uint8_t, 32> Sha256Of(std::span<const std::uint8_t> bytes);

}  // namespace lomar
