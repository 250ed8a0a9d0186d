// The launcher stub installed with the packer. The places are found from the packer's own executable rather
// than from an install prefix compiled in, so that a relocated installation (an unpacked archive, a copied
// folder) finds its own stub, and so that the program holds no path of the machine it was built on.
#include "pack/stub_location.h"

#include <string_view>
#include <vector>

#include "pack/host_files.h"
#include "pack/tool_error.h"

#ifdef _WIN32
#include <windows.h>

#include "core/text.h"
#else
#include <cerrno>
#include <cstring>

#include <unistd.h>
#endif

namespace lomar::pack {
namespace {

constexpr const char* stubName = "lomar-launcher.exe";

std::string OwnExecutable() {
#ifdef _WIN32
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0)
      throw UsageError{"build needs --launcher STUB.exe: cannot tell where lomar-pack itself is (Windows error " +
                       std::to_string(GetLastError()) + ")"};
    // A path that fills the buffer may have been cut short.
    if (length < path.size()) {
      path.resize(length);
      return ToUtf8(path);
    }
    path.resize(path.size() * 2);
  }
#else
  std::string path(4096, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0)
      throw UsageError{std::string("build needs --launcher STUB.exe: cannot tell where lomar-pack itself is "
                                   "(/proc/self/exe: ") + std::strerror(errno) + ")"};
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);
  }
#endif
}

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  if (cut == std::string::npos) return ".";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

#ifdef LOMAR_BUILD_TREE_STUB
// The Windows build's stub, as the build folder's configuration placed it (a path relative to the build
// folder, so that the program stays the same wherever the sources are), when `bin` is the programs' folder
// of a build folder: one that holds the configuration's CMakeCache.txt.
std::vector<std::string> BuildTreeStub(const std::string& bin) {
  std::string folder = FolderOf(bin);
  if (Inspect(JoinPath(folder, "CMakeCache.txt")) != PathKind::file) return {};
  std::string_view relative = LOMAR_BUILD_TREE_STUB;
  while (relative.starts_with("../")) {
    folder = FolderOf(folder);
    relative.remove_prefix(3);
  }
  return {JoinPath(folder, std::string(relative))};
}
#else
std::vector<std::string> BuildTreeStub(const std::string&) { return {}; }
#endif

}  // namespace

std::string FindInstalledStub() {
  const std::string bin = FolderOf(OwnExecutable());
  std::vector<std::string> places{JoinPath(JoinPath(JoinPath(FolderOf(bin), "share"), "lomar"), stubName),
                                  JoinPath(bin, stubName)};
  for (std::string& place : BuildTreeStub(bin)) places.push_back(std::move(place));
  for (const std::string& place : places)
    if (Inspect(place) != PathKind::missing) return place;

  std::string tried;
  for (std::size_t i = 0; i < places.size(); ++i)
    tried += (i == 0 ? "" : i + 1 == places.size() ? " or " : ", ") + places[i];
  throw UsageError{"build needs --launcher STUB.exe: no launcher stub at " + tried +
                   " (see: lomar-pack build --help)"};
}

}  // namespace lomar::pack
