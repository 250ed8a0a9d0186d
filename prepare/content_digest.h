// SHA-256 through the Windows CNG service: one provider per run, one-shot
// digests of byte spans, and the up-to-date test of a file already on disk.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "package/format.h"

namespace lomar {

// Owns the run's SHA-256 provider; every other user borrows `handle`.
class ShaProvider {
 public:
  ShaProvider();  // throws Failure when CNG cannot open "SHA256"
  ~ShaProvider();
  ShaProvider(const ShaProvider&) = delete;
  ShaProvider& operator=(const ShaProvider&) = delete;
  BCRYPT_ALG_HANDLE handle() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// One BCryptHash call over the whole span; an empty span is valid.
Digest Sha256Digest(BCRYPT_ALG_HANDLE provider, const void* data, std::size_t size);

// True when `path` is a regular file of exactly `expectedSize` bytes whose
// digest is `expected`. The file is read, in one read, into `buffer` (the
// caller's, expectedSize bytes) only when its size already matches. A file
// that is missing, is no regular file, or cannot be opened or read in full is
// simply not a match; only failing status and size queries throw.
bool FileMatchesDigest(BCRYPT_ALG_HANDLE provider, const std::filesystem::path& path,
                       std::uint64_t expectedSize, const Digest& expected, std::uint8_t* buffer);

}  // namespace lomar
