// The version information Explorer shows in an executable's properties: an RT_VERSION resource holding
// one VS_VERSIONINFO tree, read from a stub's untrusted bytes and written anew for the packed game.
// Callers use VersionInfo and the functions below; the tree's layout stays inside version_resource.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"
#include "pack/resource_tree.h"

namespace lomar::pe {

inline constexpr std::uint16_t rtVersion = 16;

// A version resource that cannot be read or written. Like PeError, the message continues a sentence
// whose subject is the file, so the caller writes "<file>: <message>".
class VersionError : public std::runtime_error {
 public:
  explicit VersionError(const std::string& message) : std::runtime_error(message) {}
};

// VS_FIXEDFILEINFO, with the values a fresh one has.
struct FixedFileInfo {
  std::uint32_t signature = 0xFEEF04BD;
  std::uint32_t structVersion = 0x00010000;
  std::uint32_t fileVersionMS = 0;
  std::uint32_t fileVersionLS = 0;
  std::uint32_t productVersionMS = 0;
  std::uint32_t productVersionLS = 0;
  std::uint32_t fileFlagsMask = 0x3F;   // VS_FFI_FILEFLAGSMASK
  std::uint32_t fileFlags = 0;
  std::uint32_t fileOS = 0x00040004;    // VOS_NT_WINDOWS32
  std::uint32_t fileType = 1;           // VFT_APP
  std::uint32_t fileSubtype = 0;
  std::uint32_t fileDateMS = 0;
  std::uint32_t fileDateLS = 0;

  bool operator==(const FixedFileInfo&) const = default;
};

// Keys and texts hold no U+0000: the tree ends each of them with one.
struct VersionString {
  Text key;    // "ProductName", "FileVersion", ...
  Text value;
  bool operator==(const VersionString&) const = default;
};

// The strings of one language and code page; its key is both as eight hex digits ("040904B0").
struct StringTable {
  Text key;
  std::vector<VersionString> strings;
  bool operator==(const StringTable&) const = default;
};

// A VarFileInfo entry: "Translation" lists (language, code page) pairs, 16 bits each.
struct VersionVar {
  Text key;
  std::vector<std::uint8_t> value;
  bool operator==(const VersionVar&) const = default;
};

struct VersionInfo {
  std::optional<FixedFileInfo> fixed;
  std::vector<StringTable> stringTables;  // StringFileInfo
  std::vector<VersionVar> vars;           // VarFileInfo
  bool operator==(const VersionInfo&) const = default;
};

// What a resource compiler makes of an empty VERSIONINFO for US English in UTF-16: a fixed part,
// the string table "040904B0" with no strings and the Translation 0x0409, 0x04B0.
VersionInfo FreshVersionInfo();

// Reads a VS_VERSIONINFO tree. Throws VersionError when it is cut short, when a length runs past the
// block holding it, for a key other than VS_VERSION_INFO at its root, a block other than StringFileInfo
// and VarFileInfo below it, or a fixed part that is not a VS_FIXEDFILEINFO. Padding and what follows
// the root block are not kept.
VersionInfo ReadVersionInfo(std::span<const std::uint8_t> resource);

// The tree's bytes. Throws VersionError when a block would exceed the 65535 bytes its length can say.
std::vector<std::uint8_t> WriteVersionInfo(const VersionInfo& info);

// Sets `key` to `value` in every string table, after the table's strings where it has none. With no
// table at all, one is added for the first language and code page the Translation lists (US English
// in UTF-16 when none does).
void SetVersionString(VersionInfo& info, TextView key, TextView value);

// A version as VS_FIXEDFILEINFO holds it: two 16-bit parts in each half.
struct VersionNumber {
  std::uint32_t ms = 0;
  std::uint32_t ls = 0;
  bool operator==(const VersionNumber&) const = default;
};

// "1.4.2" is 1,4,2,0: one to four parts, each decimal digits only, 0 to 65535. Nothing otherwise.
std::optional<VersionNumber> ParseDottedVersion(std::string_view text);

// Removes every RT_VERSION from `resources` and adds one holding `bytes`, which must outlive it.
void ReplaceVersion(std::vector<ResourceInput>& resources, const ResourceName& name, std::uint16_t language,
                    std::uint32_t codePage, std::span<const std::uint8_t> bytes);

}  // namespace lomar::pe
