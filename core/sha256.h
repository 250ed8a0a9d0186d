// SHA-256 (FIPS 180-4) of our own: the packer digests every file it packs and checks every entry it verifies
// or extracts with it, and the launcher takes its digests with it where Windows' CNG is plain code (Wine,
// Proton). Where the processor has the x86 SHA extensions they do the rounds; elsewhere portable code does.
// Both give the same digests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace lomar {

enum class Sha256Engine {
  fastest,    // the SHA extensions where the processor has them, else the portable code; chosen once
  portable,   // plain C++ everywhere
  processor,  // the SHA extensions; only where Sha256ProcessorEngineAvailable()
};

// Whether this processor (and this build) can take Sha256Engine::processor.
bool Sha256ProcessorEngineAvailable();

class Sha256 {
 public:
  explicit Sha256(Sha256Engine engine = Sha256Engine::fastest);
  void Update(std::span<const std::uint8_t> bytes);
  // The digest of everything given so far; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();

 private:
  using Blocks = void (*)(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);

  Blocks blocks_;
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
};

std::array<std::uint8_t, 32> Sha256Of(std::span<const std::uint8_t> bytes,
                                      Sha256Engine engine = Sha256Engine::fastest);

}  // namespace lomar
