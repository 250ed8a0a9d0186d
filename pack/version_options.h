// build's options that give the packed game its own version information (what Explorer's properties
// show) in place of the launcher stub's: --product-name, --product-version, --file-version, --company,
// --description, --copyright and --original-filename, each with a value. Build uses the two functions.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pack/command_line.h"
#include "pack/resource_tree.h"
#include "pack/version_resource.h"

namespace lomar::pack {

struct VersionOptions {
  std::vector<pe::VersionString> strings;  // StringFileInfo values, in the order of the options above
  std::optional<pe::VersionNumber> fileVersion, productVersion;

  // Every option sets a string, the two versions their numbers too.
  bool Any() const { return !strings.empty(); }
};

// Throws UsageError for a version that is not one to four dotted numbers from 0 to 65535, and for a
// text that is not UTF-8.
VersionOptions ReadVersionOptions(const CommandLine& line);

// The game's version resource: the stub's first RT_VERSION (its name, language and code page, and every
// value the options do not give) with the options applied, or a fresh one, name 1 and US English, when
// the stub has none.
struct GameVersion {
  pe::ResourceName name = 1;
  std::uint16_t language = 0x0409;
  std::uint32_t codePage = 0;
  std::vector<std::uint8_t> bytes;
};

// Nothing when no option is given. Throws ToolError naming `stubPath` when the stub's version resource
// is malformed, UsageError when the texts given make it too large.
std::optional<GameVersion> MakeGameVersion(std::span<const pe::Resource> stub, const VersionOptions& options,
                                           const std::string& stubPath);

}  // namespace lomar::pack
