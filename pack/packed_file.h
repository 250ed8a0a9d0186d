// What `list`, `verify` and `extract` read: a packed game executable or a bare package, untrusted either
// way, taken apart by the PE reader and the launcher's own package loader.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "package/package_view.h"

namespace lomar::pack {

struct PackedFile {
  std::vector<std::uint8_t> bytes;
  std::span<const std::uint8_t> package;  // inside bytes
  PackageView entries;                    // spans inside package
};

// Throws ToolError naming the file: unreadable, neither an executable nor a package, an executable without
// a package, or a package the launcher would refuse (with the launcher's own message).
PackedFile OpenPackedFile(const std::string& path);

// Unpacks every entry in stored order, checks it as the launcher would, and hands its content to `use`,
// with a progress line that starts with `verb`. An entry that fails to unpack or to match its digest ends
// it with the launcher's message, as a ToolError naming the file and the entry. Returns the bytes unpacked.
std::uint64_t UnpackEveryEntry(const PackedFile& file, const std::string& path, const char* verb,
                               const std::function<void(std::size_t, std::span<const std::uint8_t>)>& use);

}  // namespace lomar::pack
