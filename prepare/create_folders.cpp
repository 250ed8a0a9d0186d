#include "prepare/create_folders.h"

#include <windows.h>

#include <system_error>

#include "core/path_text.h"

namespace lomar {
namespace {

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

void CreateFolders(const std::wstring& path) {
  if (IsFolder(path)) return;
  const std::wstring parent = ParentFolder(path);
  // A root, or a path with no folder part, has nothing above it to make.
  if (!parent.empty() && parent.size() < path.size()) CreateFolders(parent);
  if (CreateDirectoryW(path.c_str(), nullptr)) return;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS && IsFolder(path)) return;
  throw std::system_error(static_cast<int>(error), std::system_category(), "create_directories");
}

}  // namespace lomar
