#include "prepare/content_digest.h"

#include <fstream>
#include <system_error>

#include "core/failure.h"
#include "core/messages.h"

namespace lomar {

ShaProvider::ShaProvider() {
  const NTSTATUS status = BCryptOpenAlgorithmProvider(&handle_, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (status < 0) {
    handle_ = nullptr;
    throw Failure{msg::cannotInitVerification};
  }
}

ShaProvider::~ShaProvider() {
  if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
}

Digest Sha256Digest(BCRYPT_ALG_HANDLE provider, const void* data, std::size_t size) {
  Digest digest{};
  // Every span in the launcher is bounded far below 4 GiB by the package limits.
  const NTSTATUS status = BCryptHash(provider, nullptr, 0, static_cast<PUCHAR>(const_cast<void*>(data)),
                                     static_cast<ULONG>(size), digest.data(), static_cast<ULONG>(digest.size()));
  if (status < 0) throw Failure{msg::cannotVerifyFile};
  return digest;
}

bool FileMatchesDigest(BCRYPT_ALG_HANDLE provider, const std::filesystem::path& path,
                       std::uint64_t expectedSize, const Digest& expected, std::uint8_t* buffer) {
  // status() reports a missing file or folder as not_found without an error.
  const std::filesystem::file_status status = std::filesystem::status(path);
  if (!std::filesystem::is_regular_file(status)) return false;
  if (std::filesystem::file_size(path) != expectedSize) return false;
  {
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(expectedSize));
    if (!in) return false;  // not opened (held without read sharing) or cut short
  }
  return Sha256Digest(provider, buffer, static_cast<std::size_t>(expectedSize)) == expected;
}

}  // namespace lomar
