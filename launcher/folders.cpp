#include "launcher/folders.h"

namespace lomar {
namespace {

bool IsSeparator(Unit c) { return c == LT('\\') || c == LT('/'); }

// Index just past the path component that starts at `from`.
std::size_t ComponentEnd(TextView path, std::size_t from) {
  while (from < path.size() && !IsSeparator(path[from])) ++from;
  return from;
}

bool IsDriveAt(TextView path, std::size_t at) {
  if (path.size() < at + 2 || path[at + 1] != LT(':')) return false;
  const Unit c = path[at];
  return (c >= LT('A') && c <= LT('Z')) || (c >= LT('a') && c <= LT('z'));
}

bool StartsWithUnc(TextView rest) {
  if (rest.size() < 4 || !IsSeparator(rest[3])) return false;
  const auto upper = [](Unit c) { return c >= LT('a') && c <= LT('z') ? static_cast<Unit>(c - 32) : c; };
  return upper(rest[0]) == LT('U') && upper(rest[1]) == LT('N') && upper(rest[2]) == LT('C');
}

// "server\share" starting at `from`: the index just past the share name.
std::size_t ShareEnd(TextView path, std::size_t from) {
  const std::size_t server = ComponentEnd(path, from);
  if (server >= path.size()) return server;
  return ComponentEnd(path, server + 1);
}

}  // namespace

std::size_t RootNameLength(TextView path) {
  if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
      (path[2] == LT('?') || path[2] == LT('.')) && IsSeparator(path[3])) {
    const TextView rest = path.substr(4);
    if (StartsWithUnc(rest)) return ShareEnd(path, 8);
    if (IsDriveAt(path, 4)) return 6;
    return ComponentEnd(path, 4);
  }
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return ShareEnd(path, 2);
  if (IsDriveAt(path, 0)) return 2;
  return 0;
}

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

Text JoinPath(TextView folder, TextView name) {
  Text joined(folder);
  if (!folder.empty() && !IsSeparator(folder.back())) joined += LT('\\');
  joined += name;
  return joined;
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
