// extract: every entry of a packed game written under a folder, for inspection, modding and support.
#include <cstdio>
#include <vector>

#include "core/text.h"
#include "pack/command_line.h"
#include "pack/commands.h"
#include "pack/host_files.h"
#include "pack/packed_file.h"
#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

constexpr const char* extractHelp =
    "usage: lomar-pack extract FILE DIR [--force]\n"
    "\n"
    "Writes every entry of the game package in FILE (a packed game executable or a bare package) under DIR,\n"
    "creating DIR and the entries' folders as needed. Names obey the launcher's path rules, and each entry\n"
    "is unpacked and checked against its SHA-256 digest before it is written, so DIR receives exactly what\n"
    "the launcher would put in its runtime folder. Each file appears whole or not at all.\n"
    "\n"
    "Nothing is written when a symbolic link stands anywhere on the way to an entry below DIR, or when a\n"
    "file already stands at an entry's place; --force replaces such files (never what a link points to).\n";

// The entry's place below the folder, and the folders on the way, as the platform writes paths.
struct Place {
  std::vector<std::string> folders;
  std::string file;
};

Place PlaceOf(const std::string& dir, const std::string& name) {
  Place place;
  std::string at = dir;
  std::size_t from = 0;
  for (std::size_t slash; (slash = name.find('/', from)) != std::string::npos; from = slash + 1) {
    at = JoinPath(at, name.substr(from, slash - from));
    place.folders.push_back(at);
  }
  place.file = JoinPath(at, name.substr(from));
  return place;
}

// Everything that would stop the extraction is found before the first file is written.
void RefuseObstacles(const std::vector<Place>& places, bool force) {
  for (const Place& place : places) {
    for (const std::string& folder : place.folders) {
      const PathKind kind = Inspect(folder);
      if (kind == PathKind::missing) break;  // nothing stands below a missing folder
      if (kind == PathKind::link)
        throw ToolError{folder + ": is a symbolic link; extract does not write through links"};
      if (kind != PathKind::folder) throw ToolError{folder + ": stands where a folder is needed"};
    }
    switch (Inspect(place.file)) {
      case PathKind::missing:
        break;
      case PathKind::file:
        if (!force) throw ToolError{place.file + ": already exists (--force replaces it)"};
        break;
      case PathKind::link:
        throw ToolError{place.file + ": is a symbolic link; extract does not write through links"};
      case PathKind::folder:
      case PathKind::other:
        throw ToolError{place.file + ": stands where a file is to be written"};
    }
  }
}

void MakeFolders(const std::string& dir) {
  // The folders above DIR, made the way `mkdir -p` makes them.
  std::vector<std::string> missing;
  std::string at = dir;
  while (!at.empty() && Inspect(at) == PathKind::missing) {
    missing.push_back(at);
    const std::size_t cut = at.find_last_of("/\\");
    if (cut == std::string::npos || cut == 0) break;
    at = at.substr(0, cut);
  }
  for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) MakeFolder(*folder);
}

}  // namespace

int Extract(std::span<const std::string> args) {
  const CommandLine line = ParseCommandLine(args, "extract", {}, {"--force"});
  if (line.help) {
    std::fputs(extractHelp, stdout);
    return 0;
  }
  if (line.operands.size() != 2) throw UsageError{"extract takes FILE and DIR (see: lomar-pack extract --help)"};
  const std::string& path = line.operands[0];
  const std::string& dir = line.operands[1];
  const bool force = line.flags.count("--force") != 0;

  const PackedFile file = OpenPackedFile(path);
  const PathKind top = Inspect(dir);
  if (top != PathKind::missing && top != PathKind::folder && top != PathKind::link)
    throw ToolError{dir + ": is not a folder"};
  std::vector<Place> places;
  for (const PackageEntry& entry : file.entries) places.push_back(PlaceOf(dir, ToUtf8(entry.name)));
  RefuseObstacles(places, force);

  MakeFolders(dir);
  UnpackEveryEntry(file, path, "extracting", [&places](std::size_t i, std::span<const std::uint8_t> content) {
    for (const std::string& folder : places[i].folders) MakeFolder(folder);
    OutputFile out(places[i].file, false);
    out.Write(content);
    out.Commit();
  });
  std::printf("%s: %zu files written under %s\n", path.c_str(), file.entries.size(), dir.c_str());
  return 0;
}

}  // namespace lomar::pack
