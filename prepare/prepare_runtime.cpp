#include "prepare/prepare_runtime.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "core/check_windows.h"
#include "core/failure.h"
#include "core/handle.h"
#include "core/messages.h"
#include "core/path_text.h"
#include "prepare/create_folders.h"
#include "prepare/decompressor_choice.h"
#include "prepare/file_calls.h"
#include "prepare/progress_window.h"
#include "prepare/redirect_guard.h"

namespace lomar {
namespace {

constexpr const wchar_t* stagingSuffix = L".portable-new";

// The entries' content buffers, each exactly its entry's size and zero-filled, one after another in one
// block of memory as large as the largest entry, kept from entry to entry. A fresh allocation for every
// entry has the system find and clear new pages for each file, one fault per page: on the virtual machines
// and under the Wine that players on Linux run, that costs more than reading and digesting the file, where
// clearing pages already at hand costs a fraction. The peak stays the largest entry.
class ContentBuffers {
 public:
  explicit ContentBuffers(const PackageView& entries) {
    std::uint64_t largest = 1;
    for (const PackageEntry& entry : entries) largest = std::max(largest, entry.unpackedSize);
    bytes_ = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(largest)));
    if (bytes_ == nullptr) throw std::bad_alloc();
  }
  ~ContentBuffers() { std::free(bytes_); }
  ContentBuffers(const ContentBuffers&) = delete;
  ContentBuffers& operator=(const ContentBuffers&) = delete;

  // Exactly `size` zero bytes (at most the largest entry's), valid until the next call.
  std::span<std::uint8_t> ForEntry(std::uint64_t size) {
    std::memset(bytes_, 0, static_cast<std::size_t>(size));
    return {bytes_, static_cast<std::size_t>(size)};
  }

 private:
  std::uint8_t* bytes_;
};

// Writes the verified content beside the target and renames it over the target, so that at no moment does
// a partly written file stand at the target's path.
void PutInPlace(const std::wstring& runtimeDir, const PackageEntry& entry, const std::wstring& target,
                const std::uint8_t* content) {
  CreateFolders(ParentFolder(target));
  const std::wstring staging = target + stagingSuffix;
  // The staging path relative to the runtime folder, as the lexical form gives it: the entry's elements
  // joined with backslashes.
  std::wstring relative = entry.name + stagingSuffix;
  std::replace(relative.begin(), relative.end(), L'/', L'\\');
  RefuseRedirectedPath(runtimeDir, relative);
  const BOOL deleted = files::Delete(staging.c_str());
  CheckWindows(deleted != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND, msg::cannotRemoveInterrupted);
  {
    // CREATE_NEW and no reparse point followed: nothing that stands at the staging path is ever opened.
    Handle file{files::Create(staging.c_str(), GENERIC_WRITE, 0, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT)};
    CheckWindows(file.Valid(), msg::cannotWriteBeside);
    DWORD written = 0;
    const BOOL wrote = files::Write(file.Get(), content, static_cast<DWORD>(entry.unpackedSize), &written);
    CheckWindows(wrote != FALSE && written == entry.unpackedSize, msg::cannotWriteRuntime);
    CheckWindows(files::Flush(file.Get()) != FALSE, msg::cannotWriteRuntime);
  }
  CheckWindows(files::Move(staging.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE,
               msg::cannotUpdateRuntime);
}

void PrepareEntry(const std::wstring& runtimeDir, const PackageEntry& entry, const ShaProvider& shaProvider,
                  Decompressor& decompressor, ContentBuffers& buffers) {
  RefuseRedirectedPath(runtimeDir, entry.name);
  const std::wstring target = JoinPath(runtimeDir, entry.name);
  const std::span<std::uint8_t> content = buffers.ForEntry(entry.unpackedSize);
  if (FileMatchesDigest(shaProvider, target, entry.unpackedSize, entry.digest, content.data())) return;
  UnpackEntry(decompressor, entry, content);
  if (Sha256Digest(shaProvider, content.data(), content.size()) != entry.digest) throw Failure{msg::failedVerification};
  PutInPlace(runtimeDir, entry, target, content.data());
}

}  // namespace

void PrepareRuntime(const std::wstring& runtimeDir, const PackageView& entries, const ShaProvider& shaProvider,
                    bool showProgress) {
  // Released in reverse: the content buffers first, then the decompressor, then the window.
  std::optional<ProgressWindow> window;
  if (showProgress) window.emplace();
  RefuseRedirectedPath(runtimeDir, {});
  CreateFolders(runtimeDir);
  const std::unique_ptr<Decompressor> decompressor = OpenDecompressor();
  ContentBuffers buffers(entries);
  std::uint64_t done = 0;
  for (const PackageEntry& entry : entries) {
    PrepareEntry(runtimeDir, entry, shaProvider, *decompressor, buffers);
    ++done;
    if (window) window->Update(done * 100 / entries.size());
  }
}

}  // namespace lomar
