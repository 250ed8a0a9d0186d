#include "prepare/file_calls.h"

namespace lomar::files {

BOOL Delete(LPCWSTR path) { return DeleteFileW(path); }

HANDLE Create(LPCWSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}

BOOL Write(HANDLE file, const void* data, DWORD count, DWORD* written) {
  return WriteFile(file, data, count, written, nullptr);
}

BOOL Flush(HANDLE file) { return FlushFileBuffers(file); }

BOOL Move(LPCWSTR from, LPCWSTR to, DWORD flags) { return MoveFileExW(from, to, flags); }

DWORD Attributes(LPCWSTR path) { return GetFileAttributesW(path); }

BOOL AttributesAndSize(LPCWSTR path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return GetFileAttributesExW(path, GetFileExInfoStandard, data);
}

}  // namespace lomar::files
