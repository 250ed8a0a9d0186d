// The game folder as the packer sees it: every regular file below it, and nothing it would have to follow.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lomar::pack {

struct GameFile {
  std::string name;  // relative, "/" between folders, bytes as the file system spells them
  std::string path;  // where the file is read from
  std::uint64_t size;
};

// Every regular file below the folder, in no particular order; folders are walked, empty ones leave no
// trace. Throws ToolError naming the first symbolic link, junction, device, socket or pipe: the package
// must not depend on what a link happens to point to on the packing machine.
std::vector<GameFile> WalkGameFolder(const std::string& folder);

}  // namespace lomar::pack
