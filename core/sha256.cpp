#include "core/sha256.h"

#include <algorithm>

#include "core/sha256_blocks.h"

namespace lomar {
namespace {

using BlocksFunction = void (*)(std::uint32_t*, const std::uint8_t*, std::size_t);

BlocksFunction ProcessorBlocks() {
  // Asked once per process: the answer cannot change, and the check costs a cpuid.
  static const BlocksFunction chosen =
      sha256_blocks::ProcessorHasShaExtensions() ? sha256_blocks::shaExtensions : nullptr;
  return chosen;
}

BlocksFunction BlocksFor(Sha256Engine engine) {
  switch (engine) {
    case Sha256Engine::portable:
      return sha256_blocks::Portable;
    case Sha256Engine::processor:
    case Sha256Engine::fastest:
      if (const BlocksFunction processor = ProcessorBlocks()) return processor;
      break;
  }
  // Asking for the processor's engine where there is none is a caller's mistake the tests guard against;
  // the portable code gives the same digest, so that is what a caller gets.
  return sha256_blocks::Portable;
}

}  // namespace

bool Sha256ProcessorEngineAvailable() { return ProcessorBlocks() != nullptr; }

Sha256::Sha256(Sha256Engine engine)
    : blocks_(BlocksFor(engine)),
      state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  totalBytes_ += bytes.size();
  if (pendingSize_ != 0) {
    const std::size_t take = std::min(bytes.size(), pending_.size() - pendingSize_);
    std::copy_n(bytes.begin(), take, pending_.begin() + pendingSize_);
    pendingSize_ += take;
    bytes = bytes.subspan(take);
    if (pendingSize_ < pending_.size()) return;
    blocks_(state_.data(), pending_.data(), 1);
    pendingSize_ = 0;
  }
  // Every whole block in one call, so that the processor's engine keeps its state in registers throughout.
  const std::size_t whole = bytes.size() / 64;
  if (whole != 0) blocks_(state_.data(), bytes.data(), whole);
  bytes = bytes.subspan(whole * 64);
  std::copy(bytes.begin(), bytes.end(), pending_.begin());
  pendingSize_ = bytes.size();
}

std::array<std::uint8_t, 32> Sha256::Finish() {
  const std::uint64_t bits = totalBytes_ * 8;
  // A one bit, zeros up to 56 bytes into a block, then the length in bits, big-endian.
  std::uint8_t tail[72] = {0x80};
  const std::size_t zeros = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
  for (int i = 0; i < 8; ++i) tail[zeros + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Update(std::span<const std::uint8_t>(tail, zeros + 8));
  std::array<std::uint8_t, 32> digest;
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 4; ++k) digest[4 * i + k] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * k));
  return digest;
}

std::array<std::uint8_t, 32> Sha256Of(std::span<const std::uint8_t> bytes, Sha256Engine engine) {
  Sha256 hash(engine);
  hash.Update(bytes);
  return hash.Finish();
}

}  // namespace lomar
