// The file-system calls of preparation, one function each. The launcher links file_calls.cpp, which calls
// Windows straight through; a Windows test links the engine with calls of its own that fail on demand, to
// check the message and error number each failure reaches the user with. The shipped launcher has no
// switch of any kind to make them fail.
#pragma once

#include <windows.h>

namespace lomar::files {

BOOL Delete(LPCWSTR path);
HANDLE Create(LPCWSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
BOOL Write(HANDLE file, const void* data, DWORD count, DWORD* written);
BOOL Flush(HANDLE file);
BOOL Move(LPCWSTR from, LPCWSTR to, DWORD flags);
DWORD Attributes(LPCWSTR path);
BOOL AttributesAndSize(LPCWSTR path, WIN32_FILE_ATTRIBUTE_DATA* data);

}  // namespace lomar::files
