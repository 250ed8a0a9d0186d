// The packer's file operations on Windows, through the wide-character calls, so that every name the file
// system holds can be named.
#include <windows.h>

#include <atomic>

#include "pack/host_files.h"
#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

std::string Why(DWORD error) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string why = length ? std::string(text, length) : std::string();
  if (text) LocalFree(text);
  while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ' || why.back() == '.'))
    why.pop_back();
  return why + " (Windows error " + std::to_string(error) + ")";
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                         nullptr, 0);
  if (length <= 0) throw ToolError{utf8 + ": the path is not valid UTF-8"};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

// Names come from the file system as UTF-16, which may hold an unpaired surrogate; such a name has no UTF-8
// spelling and is refused by name, with the replacement character standing in for it.
std::string Utf8(const wchar_t* wide, bool& valid) {
  const int count = static_cast<int>(wcslen(wide));
  if (count == 0) return {};
  int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, count, nullptr, 0, nullptr, nullptr);
  valid = length > 0;
  const DWORD flags = valid ? WC_ERR_INVALID_CHARS : 0;
  length = WideCharToMultiByte(CP_UTF8, flags, wide, count, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, flags, wide, count, out.data(), length, nullptr, nullptr);
  return out;
}

PathKind KindOf(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::folder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::other;
  return PathKind::file;
}

struct Handle {
  HANDLE h;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE && h != nullptr) CloseHandle(h);
  }
};

// The temporary file being written, for the console's Ctrl+C handler.
std::atomic<const wchar_t*> pendingTemp{nullptr};

BOOL WINAPI RemovePendingTemp(DWORD) {
  if (const wchar_t* temp = pendingTemp.exchange(nullptr)) DeleteFileW(temp);
  // Ended here, with the status Windows gives an interrupted console program, rather than by the default
  // handler: Wine's ends the process with status 0, which a build script would take for success, and
  // nothing is left to flush that an interrupted build should keep.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' || folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

PathKind Inspect(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return KindOf(attributes);
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return PathKind::missing;
  throw ToolError{path + ": cannot examine it: " + Why(error)};
}

std::vector<FolderItem> ListFolder(const std::string& path) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(Wide(JoinPath(path, "*")).c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) throw ToolError{path + ": cannot read the folder: " + Why(GetLastError())};
  struct Closer {
    HANDLE h;
    ~Closer() { FindClose(h); }
  } closer{search};
  std::vector<FolderItem> items;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    bool valid = true;
    std::string utf8 = Utf8(found.cFileName, valid);
    items.push_back({std::move(utf8), KindOf(found.dwFileAttributes),
                     (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow, valid});
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) throw ToolError{path + ": cannot read the folder: " + Why(error)};
  return items;
}

void ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  // A link put in place since the folder was walked is opened as itself, and then is no file to read.
  const Handle file{CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) throw ToolError{path + ": cannot open it: " + Why(GetLastError())};
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.h, &size)) throw ToolError{path + ": cannot examine it: " + Why(GetLastError())};
  bytes.resize(static_cast<std::size_t>(size.QuadPart) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file.h, bytes.data() + filled, want, &got, nullptr))
      throw ToolError{path + ": cannot read it: " + Why(GetLastError())};
    if (got == 0) break;
    filled += got;
  }
  bytes.resize(filled);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  ReadWholeFile(path, bytes);
  return bytes;
}

void MakeFolder(const std::string& path) {
  if (CreateDirectoryW(Wide(path).c_str(), nullptr)) return;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS && Inspect(path) == PathKind::folder) return;
  throw ToolError{path + ": cannot create the folder: " + Why(error)};
}

OutputFile::OutputFile(std::string target, bool /*executable*/)
    : target_(std::move(target)), handle_(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)) {
  static const bool watching = SetConsoleCtrlHandler(RemovePendingTemp, TRUE);
  (void)watching;
  static std::wstring pendingName;
  for (int attempt = 0; reinterpret_cast<HANDLE>(handle_) == INVALID_HANDLE_VALUE; ++attempt) {
    pendingTemp = nullptr;
    temp_ = target_ + ".lomar-partial-" + std::to_string(GetCurrentProcessId());
    if (attempt != 0) temp_ += '-' + std::to_string(attempt);
    // Named to the handler before the file exists, so that no moment after its creation leaves it unknown.
    // Shared for deletion, because the handler runs on a thread of its own while this handle is open: the
    // file then goes when the process ends and closes it.
    pendingName = Wide(temp_);
    pendingTemp = pendingName.c_str();
    const HANDLE file = CreateFileW(pendingName.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<std::intptr_t>(file);
    } else if (error != ERROR_FILE_EXISTS || attempt > 100) {
      pendingTemp = nullptr;
      throw ToolError{target_ + ": cannot create a file beside it: " + Why(error)};
    }
  }
}

OutputFile::~OutputFile() {
  if (committed_) return;
  pendingTemp = nullptr;
  const HANDLE file = reinterpret_cast<HANDLE>(handle_);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  DeleteFileW(Wide(temp_).c_str());
}

void OutputFile::Write(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD put = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data(), want, &put, nullptr) || put == 0)
      throw ToolError{target_ + ": cannot write it: " + Why(GetLastError())};
    bytes = bytes.subspan(put);
  }
}

void OutputFile::Commit() {
  const HANDLE file = reinterpret_cast<HANDLE>(handle_);
  if (!FlushFileBuffers(file)) throw ToolError{target_ + ": cannot write it: " + Why(GetLastError())};
  handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
  CloseHandle(file);
  if (!MoveFileExW(Wide(temp_).c_str(), Wide(target_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw ToolError{target_ + ": cannot put it in place: " + Why(GetLastError())};
  pendingTemp = nullptr;
  committed_ = true;
}

}  // namespace lomar::pack
