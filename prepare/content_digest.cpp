#include "prepare/content_digest.h"

#include <system_error>

#include "core/failure.h"
#include "core/handle.h"
#include "core/messages.h"
#include "core/sha256.h"
#include "prepare/file_calls.h"

namespace lomar {
namespace {

struct FileFacts {
  bool exists;
  bool regular;
  std::uint64_t size;
};

// The path's status, following a link to what it names. Absence is exactly "file not found" and "path not
// found"; every other failure is reported rather than taken for absence, so that a file that cannot be
// examined is never rewritten as if it were missing.
FileFacts AbsentOrThrow(DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {false, false, 0};
  throw std::system_error(static_cast<int>(error), std::system_category(), "status");
}

FileFacts Present(DWORD attributes, DWORD sizeHigh, DWORD sizeLow) {
  return {true, (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0, (std::uint64_t{sizeHigh} << 32) | sizeLow};
}

FileFacts Examine(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!files::AttributesAndSize(path.c_str(), &data)) return AbsentOrThrow(GetLastError());
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return Present(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
  const Handle linked{CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  BY_HANDLE_FILE_INFORMATION info;
  if (!linked.Valid() || !GetFileInformationByHandle(linked.Get(), &info)) return AbsentOrThrow(GetLastError());
  return Present(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow);
}

}  // namespace

ShaProvider::ShaProvider() : cng_(digest_calls::FindCng(bcrypt_)) {
  // A missing bcrypt.dll or function fails as the provider itself would, on every route: the provider is
  // opened, lent and closed the same way wherever the digests are computed.
  if (cng_.open == nullptr || cng_.hash == nullptr || cng_.close == nullptr) throw Failure{msg::cannotInitVerification};
  const NTSTATUS status = cng_.open(&handle_, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (status < 0) {
    handle_ = nullptr;
    throw Failure{msg::cannotInitVerification};
  }
  // The one place the run's digests are routed. Under Wine every start would otherwise hash each file at
  // CNG's plain-code speed, several times slower than reading it.
  onProcessor_ = digest_calls::UnderWine();
}

ShaProvider::~ShaProvider() {
  if (handle_ != nullptr) cng_.close(handle_, 0);
}

Digest ShaProvider::Hash(const void* data, std::size_t size) const {
  if (onProcessor_) return Sha256Of({static_cast<const std::uint8_t*>(data), size});
  Digest digest{};
  // Every span in the launcher is bounded far below 4 GiB by the package limits.
  const NTSTATUS status = cng_.hash(handle_, nullptr, 0, static_cast<PUCHAR>(const_cast<void*>(data)),
                                    static_cast<ULONG>(size), digest.data(), static_cast<ULONG>(digest.size()));
  if (status < 0) throw Failure{msg::cannotVerifyFile};
  return digest;
}

bool FileMatchesDigest(const ShaProvider& provider, const std::wstring& path, std::uint64_t expectedSize,
                       const Digest& expected, std::uint8_t* buffer) {
  const FileFacts facts = Examine(path);
  if (!facts.exists || !facts.regular || facts.size != expectedSize) return false;
  if (expectedSize != 0) {
    // Others may go on reading and writing it meanwhile; whatever arrives in one read is judged.
    const Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (!file.Valid()) return false;  // held without read sharing, or gone
    DWORD got = 0;
    if (!ReadFile(file.Get(), buffer, static_cast<DWORD>(expectedSize), &got, nullptr) || got != expectedSize)
      return false;
  }
  return Sha256Digest(provider, buffer, static_cast<std::size_t>(expectedSize)) == expected;
}

}  // namespace lomar
