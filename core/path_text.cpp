#include "core/path_text.h"

namespace lomar {
namespace {

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

bool IsSeparator(Unit c) { return c == LT('\\') || c == LT('/'); }

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

Text JoinPath(TextView folder, TextView name) {
  Text joined(folder);
  if (!folder.empty() && !IsSeparator(folder.back())) joined += LT('\\');
  joined += name;
  return joined;
}

std::vector<TextView> PathElements(TextView relative) {
  std::vector<TextView> elements;
  std::size_t at = 0;
  while (at < relative.size()) {
    std::size_t end = at;
    while (end < relative.size() && !IsSeparator(relative[end])) ++end;
    elements.push_back(relative.substr(at, end - at));
    while (end < relative.size() && IsSeparator(relative[end])) ++end;
    // A separator at the very end names the same folder once more, as an empty last element.
    if (end == relative.size() && end > 0 && IsSeparator(relative[end - 1])) elements.push_back(TextView());
    at = end;
  }
  return elements;
}

Text ParentFolder(TextView path) {
  const std::size_t root = RootNameLength(path);
  std::size_t end = path.size();
  while (end > root && IsSeparator(path[end - 1])) --end;  // trailing separators
  while (end > root && !IsSeparator(path[end - 1])) --end;  // the last element
  while (end > root + 1 && IsSeparator(path[end - 1])) --end;  // separators before it, but a root's own
  return Text(path.substr(0, end));
}

}  // namespace lomar
