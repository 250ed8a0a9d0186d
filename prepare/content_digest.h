// SHA-256 for the launcher: one provider per run, one-shot digests of byte
// spans, and the up-to-date test of a file already on disk. The provider is
// always CNG's; on Windows every digest is one BCryptHash call, and under Wine
// and Proton, whose CNG is plain code, the same SHA-256 is taken with the
// processor's SHA extensions instead (any conforming SHA-256 of the same bytes
// is the same digest).
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/system_library.h"
#include "prepare/digest_calls.h"
#include "package/format.h"

namespace lomar {

// Owns the run's SHA-256 provider; every other user borrows it. bcrypt.dll is
// loaded from the system folder, never from beside the launcher.
class ShaProvider {
 public:
  ShaProvider();  // throws Failure when CNG cannot be loaded or cannot open "SHA256"
  ~ShaProvider();
  ShaProvider(const ShaProvider&) = delete;
  ShaProvider& operator=(const ShaProvider&) = delete;

  // The digest of the whole span in one call (see Sha256Digest).
  Digest Hash(const void* data, std::size_t size) const;

 private:
  SystemLibrary bcrypt_{L"bcrypt.dll"};
  digest_calls::Cng cng_;
  BCRYPT_ALG_HANDLE handle_ = nullptr;
  bool onProcessor_ = false;
};

// One BCryptHash call over the whole span, or under Wine one call of the
// project's SHA-256; an empty span is valid. Throws Failure
// msg::cannotVerifyFile on a failed CNG status.
inline Digest Sha256Digest(const ShaProvider& provider, const void* data, std::size_t size) {
  return provider.Hash(data, size);
}

// True when `path` is a regular file of exactly `expectedSize` bytes whose
// digest is `expected`. The file is read, in one read, into `buffer` (the
// caller's, expectedSize bytes) only when its size already matches. A file
// that is missing (or whose folder is), is no regular file, or cannot be
// opened or read in full is simply not a match. Any other failure to query
// the path (access denied, a link that points to itself) throws a standard
// system error for "status": it is reported, never taken for absence.
bool FileMatchesDigest(const ShaProvider& provider, const std::wstring& path,
                       std::uint64_t expectedSize, const Digest& expected, std::uint8_t* buffer);

}  // namespace lomar
