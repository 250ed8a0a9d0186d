// The SHA-256 compression function over whole 64-byte blocks, in its two builds; for core/sha256.cpp only.
// Each adds `count` blocks at `blocks` into `state` (a, b, ..., h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace lomar::sha256_blocks {

void Portable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);

// The x86 SHA extensions (sha256rnds2, sha256msg1, sha256msg2) with SSSE3 and SSE4.1 beside them. Null
// where this build has no such code; call it only where ProcessorHasShaExtensions() says so.
extern void (*const shaExtensions)(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count);
bool ProcessorHasShaExtensions();

// The 64 round constants, shared by both builds.
extern const std::uint32_t roundConstants[64];

}  // namespace lomar::sha256_blocks
