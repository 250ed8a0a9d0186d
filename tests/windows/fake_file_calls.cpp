#include "fake_file_calls.h"

#include <string_view>

#include "prepare/file_calls.h"

namespace lomar {
namespace fake {
namespace {

Fault fault;
Record record;
std::map<std::wstring, DWORD> pretended;

// Counts the call and says whether it is the one to fail, with its error already set.
bool Fails(const char* call) {
  ++record.calls[call];
  if (std::string_view(fault.call) != call || fault.shortWrite) return false;
  SetLastError(fault.error);
  return true;
}

}  // namespace

void Reset(const Fault& f) {
  fault = f;
  record = {};
  pretended.clear();
}

const Record& Calls() { return record; }

void PretendAttributes(const std::map<std::wstring, DWORD>& answers) { pretended = answers; }

}  // namespace fake

namespace files {

BOOL Delete(LPCWSTR path) { return fake::Fails("Delete") ? FALSE : DeleteFileW(path); }

HANDLE Create(LPCWSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (fake::Fails("Create")) return INVALID_HANDLE_VALUE;
  return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}

BOOL Write(HANDLE file, const void* data, DWORD count, DWORD* written) {
  if (fake::Fails("Write")) return FALSE;
  if (std::string_view(fake::fault.call) == "Write" && fake::fault.shortWrite && count > 0) --count;
  return WriteFile(file, data, count, written, nullptr);
}

BOOL Flush(HANDLE file) { return fake::Fails("Flush") ? FALSE : FlushFileBuffers(file); }

BOOL Move(LPCWSTR from, LPCWSTR to, DWORD flags) { return fake::Fails("Move") ? FALSE : MoveFileExW(from, to, flags); }

DWORD Attributes(LPCWSTR path) {
  fake::record.attributePaths.push_back(path);
  if (fake::Fails("Attributes")) return INVALID_FILE_ATTRIBUTES;
  if (const auto answer = fake::pretended.find(path); answer != fake::pretended.end()) return answer->second;
  return GetFileAttributesW(path);
}

BOOL AttributesAndSize(LPCWSTR path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return fake::Fails("AttributesAndSize") ? FALSE : GetFileAttributesExW(path, GetFileExInfoStandard, data);
}

}  // namespace files
}  // namespace lomar
