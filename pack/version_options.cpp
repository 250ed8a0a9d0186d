#include "pack/version_options.h"

#include <algorithm>

#include "core/unicode.h"
#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

struct Option {
  const char* name;
  const Unit* key;  // the StringFileInfo value it sets
};

constexpr Option options[] = {
    {"--product-name", LT("ProductName")},     {"--product-version", LT("ProductVersion")},
    {"--file-version", LT("FileVersion")},     {"--company", LT("CompanyName")},
    {"--description", LT("FileDescription")},  {"--copyright", LT("LegalCopyright")},
    {"--original-filename", LT("OriginalFilename")},
};

UsageError Misuse(const std::string& what) { return UsageError{what + " (see: lomar-pack build --help)"}; }

}  // namespace

VersionOptions ReadVersionOptions(const CommandLine& line) {
  VersionOptions read;
  for (const Option& option : options) {
    const std::optional<std::string> value = line.Value(option.name);
    if (!value) continue;
    const std::optional<Text> text =
        DecodeUtf8(reinterpret_cast<const std::uint8_t*>(value->data()), value->size());
    if (!text) throw Misuse(std::string(option.name) + " takes UTF-8 text");
    read.strings.push_back({Text(option.key), *text});
  }
  for (auto [name, number] : {std::pair{"--file-version", &read.fileVersion},
                              std::pair{"--product-version", &read.productVersion}}) {
    const std::optional<std::string> value = line.Value(name);
    if (!value) continue;
    *number = pe::ParseDottedVersion(*value);
    if (!*number)
      throw Misuse(std::string(name) + " takes one to four numbers from 0 to 65535 joined by dots (1.4.2), not \"" +
                   *value + "\"");
  }
  return read;
}

std::optional<GameVersion> MakeGameVersion(std::span<const pe::Resource> stub, const VersionOptions& options,
                                           const std::string& stubPath) {
  if (!options.Any()) return std::nullopt;
  GameVersion game;
  pe::VersionInfo info;
  const auto own = std::find_if(stub.begin(), stub.end(),
                                [](const pe::Resource& r) { return r.type == pe::ResourceName(pe::rtVersion); });
  if (own == stub.end()) {
    info = pe::FreshVersionInfo();
  } else {
    game.name = own->name;
    game.language = own->language;
    game.codePage = own->codePage;
    try {
      info = pe::ReadVersionInfo(own->data);
    } catch (const pe::VersionError& e) {
      throw ToolError{stubPath + ": " + e.what()};
    }
  }
  for (const pe::VersionString& string : options.strings) pe::SetVersionString(info, string.key, string.value);
  if (options.fileVersion || options.productVersion) {
    if (!info.fixed) info.fixed = pe::FixedFileInfo{};
    if (options.fileVersion) {
      info.fixed->fileVersionMS = options.fileVersion->ms;
      info.fixed->fileVersionLS = options.fileVersion->ls;
    }
    if (options.productVersion) {
      info.fixed->productVersionMS = options.productVersion->ms;
      info.fixed->productVersionLS = options.productVersion->ls;
    }
  }
  try {
    game.bytes = pe::WriteVersionInfo(info);
  } catch (const pe::VersionError&) {
    throw Misuse("the version texts given do not fit in a version resource, which holds at most 65535 bytes");
  }
  return game;
}

}  // namespace lomar::pack
