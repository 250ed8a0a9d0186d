// The game folder as the packer sees it: every regular file below it, and nothing it would have to follow.
#pragma once

#include <cstdint>
#include <functional>
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
//
// `leaveOut`, when given, is asked about each item by its relative name (`folder` true for a folder, or a
// link that may be one) before anything else is done with it: an item it leaves out is never read, a folder
// never listed, so nothing in it can fail the walk.
using LeaveOut = std::function<bool(const std::string& name, bool folder)>;
std::vector<GameFile> WalkGameFolder(const std::string& folder, const LeaveOut& leaveOut = {});

}  // namespace lomar::pack
