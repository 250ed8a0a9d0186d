// What `list`, `verify` and `extract` read: a packed game executable or a bare package, untrusted either
// way, taken apart by the PE reader and the launcher's own package loader.
#pragma once

#include <cstdint>
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

// The launcher's message for an entry that fails to unpack or to match its digest, as a ToolError naming
// the file and the entry; nothing when the content is right. `buffer` receives the content and must hold
// exactly the entry's unpacked size.
void UnpackAndCheck(const PackageEntry& entry, std::span<std::uint8_t> buffer, const std::string& path);

}  // namespace lomar::pack
