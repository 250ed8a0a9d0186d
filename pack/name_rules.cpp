#include "pack/name_rules.h"

#include <algorithm>
#include <map>
#include <optional>

#include "core/failure.h"
#include "core/messages.h"
#include "core/unicode.h"
#include "package/entry_path.h"
#include "package/format.h"
#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

struct Named {
  const GameFile* file;
  Text name;   // UTF-16
  Text lower;  // portable lower case, the package's order and the launcher's duplicate test
  Text upper;  // portable upper case of each code unit, as NTFS compares names
};

Text Folded(TextView name, void (*fold)(Unit*, std::size_t)) {
  Text copy(name);
  fold(copy.data(), copy.size());
  return copy;
}

// What the launcher's message means for the person who packs.
std::string Explain(const Text& message) {
  const std::string said = ToUtf8(message);
  if (message == msg::invalidPath) return said + " Names are relative, and never start or end with a folder separator.";
  if (message == msg::unsafePath)
    return said + " Windows cannot store a name or folder that is \".\" or \"..\", ends in a dot or a space, or holds "
                  "a control character or any of \\ : * ? \" < > |.";
  return said + " CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, CONIN$ and CONOUT$ are devices on Windows, whatever "
                "their extension and letter case.";
}

bool IsDeviceStem(TextView stem) {
  const Text lower = Folded(stem, PortableLowerCase);
  const TextView s = lower;
  auto digit = [](Unit u) { return (u >= LT('0') && u <= LT('9')) || u == 0xB9 || u == 0xB2 || u == 0xB3; };
  if (s == LT("con") || s == LT("prn") || s == LT("aux") || s == LT("nul") || s == LT("conin$") ||
      s == LT("conout$"))
    return true;
  return s.size() == 4 && (s.substr(0, 3) == LT("com") || s.substr(0, 3) == LT("lpt")) && digit(s[3]);
}

// "con .txt": the launcher takes it (its stem is "con "), but Windows 10 and earlier drop the extension and
// then the trailing spaces and open the console device instead of the file.
bool OpensADeviceOnOlderWindows(TextView name) {
  const TextView last = name.substr(name.rfind(LT('/')) + 1);
  TextView stem = last.substr(0, last.find(LT('.')));
  if (stem.empty() || stem.back() != LT(' ')) return false;
  while (!stem.empty() && stem.back() == LT(' ')) stem.remove_suffix(1);
  return IsDeviceStem(stem);
}

bool IsGameExecutable(const std::string& name) {
  // Letter case is folded for A to Z alone, which every way of lower-casing agrees on.
  if (name.size() != format::gameExeName.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != format::gameExeName[i]) return false;
  }
  return true;
}

Named Check(const GameFile& file) {
  if (file.name.size() > format::maxNameBytes)
    throw ToolError{file.path + ": its name in the package would be " + std::to_string(file.name.size()) +
                    " bytes of UTF-8; the launcher takes at most " + std::to_string(format::maxNameBytes)};
  std::optional<Text> name =
      PortableDecodeUtf8(reinterpret_cast<const std::uint8_t*>(file.name.data()), file.name.size());
  if (!name) throw ToolError{file.path + ": the name is not valid UTF-8, which the package stores names in"};
  try {
    CheckEntryPathPortably(*name);
  } catch (const Failure& failure) {
    throw ToolError{file.path + ": the launcher refuses this name: " + Explain(failure.message)};
  }
  if (OpensADeviceOnOlderWindows(*name))
    throw ToolError{file.path + ": Windows 10 and earlier open a device for this name (a device name, then spaces, "
                    "then an extension) rather than the file"};
  return {&file, *name, Folded(*name, PortableLowerCase), Folded(*name, PortableUpperCase)};
}

std::string Both(const Named& a, const Named& b) {
  return a.file->path + " and " + b.file->path;
}

void RefuseCollisions(const std::vector<Named>& named) {
  // Folders on the way to each file, under both foldings, with a file that needs them.
  std::map<Text, const Named*> lowerFolders, upperFolders;
  for (const Named& n : named) {
    for (std::size_t slash = n.name.find(LT('/')); slash != Text::npos; slash = n.name.find(LT('/'), slash + 1)) {
      lowerFolders.emplace(n.lower.substr(0, slash), &n);
      upperFolders.emplace(n.upper.substr(0, slash), &n);
    }
  }
  std::map<Text, const Named*> lowerNames, upperNames;
  for (const Named& n : named) {
    if (const auto [at, fresh] = lowerNames.emplace(n.lower, &n); !fresh)
      throw ToolError{Both(*at->second, n) + ": the names differ only in letter case, so they would be one file "
                      "on Windows (and the launcher refuses two such names)"};
    if (const auto [at, fresh] = upperNames.emplace(n.upper, &n); !fresh)
      throw ToolError{Both(*at->second, n) + ": the names differ only in letters that share a capital (such as σ "
                      "and ς, or µ and μ), so NTFS, which compares names by their capitals, would store them as "
                      "one file"};
  }
  for (const Named& n : named) {
    const Named* needsFolder = nullptr;
    if (const auto f = lowerFolders.find(n.lower); f != lowerFolders.end()) needsFolder = f->second;
    if (const auto f = upperFolders.find(n.upper); !needsFolder && f != upperFolders.end()) needsFolder = f->second;
    if (needsFolder)
      throw ToolError{Both(n, *needsFolder) + ": the first is a file, but the second needs a folder of that name, "
                      "and on Windows, where letter case does not tell names apart, one name cannot be both"};
  }
}

}  // namespace

void CheckAndSortNames(std::vector<GameFile>& files, const std::string& folder) {
  if (files.empty()) throw ToolError{folder + ": holds no files to pack"};
  if (files.size() > format::maxEntryCount)
    throw ToolError{folder + ": holds " + std::to_string(files.size()) + " files; the launcher takes at most " +
                    std::to_string(format::maxEntryCount)};
  // Checked in the order of their bytes, so that the first problem reported does not depend on the order
  // the folder was listed in.
  std::sort(files.begin(), files.end(), [](const GameFile& a, const GameFile& b) { return a.name < b.name; });
  std::vector<Named> named;
  named.reserve(files.size());
  std::uint64_t total = 0;
  bool game = false;
  for (const GameFile& file : files) {
    named.push_back(Check(file));
    total += file.size;
    game = game || IsGameExecutable(file.name);
  }
  RefuseCollisions(named);
  if (!game)
    throw ToolError{folder + ": has no LOMARVesperon.exe at its top level, the game executable that the launcher "
                    "starts"};
  if (total > format::maxUnpackedTotal)
    throw ToolError{folder + ": its files add up to " + std::to_string(total) + " bytes; the launcher takes at most " +
                    std::to_string(format::maxUnpackedTotal) + " (512 MiB)"};

  std::sort(named.begin(), named.end(), [](const Named& a, const Named& b) { return a.lower < b.lower; });
  std::vector<GameFile> sorted;
  sorted.reserve(files.size());
  for (const Named& n : named) sorted.push_back(*n.file);
  files = std::move(sorted);
}

}  // namespace lomar::pack
