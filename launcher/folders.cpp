#include "launcher/folders.h"

#include "core/path_text.h"

namespace lomar {

Text FolderOfModulePath(TextView modulePath) {
  const std::size_t root = RootNameLength(modulePath);
  std::size_t last = modulePath.size();
  while (last > root && !IsSeparator(modulePath[last - 1])) --last;
  if (last <= root) return Text(modulePath.substr(0, root));  // no folder part at all
  std::size_t end = last - 1;  // the separator in front of the file name
  while (end > root && IsSeparator(modulePath[end - 1])) --end;
  if (end == root) return Text(modulePath.substr(0, root + 1));  // keep the root's separator
  return Text(modulePath.substr(0, end));
}

Folders FoldersFor(TextView modulePath) {
  Folders folders;
  folders.exeDir = FolderOfModulePath(modulePath);
  folders.dataDir = JoinPath(folders.exeDir, LT("data"));
  folders.runtimeDir = JoinPath(folders.exeDir, LT(".lomar-runtime"));
  folders.gameExe = JoinPath(folders.runtimeDir, LT("LOMARVesperon.exe"));
  return folders;
}

}  // namespace lomar
