#include "pack/game_folder.h"

#include "pack/host_files.h"
#include "pack/tool_error.h"

namespace lomar::pack {

std::vector<GameFile> WalkGameFolder(const std::string& folder, const LeaveOut& leaveOut) {
  const PathKind top = Inspect(folder);
  if (top == PathKind::missing) throw ToolError{folder + ": no such folder"};
  if (top != PathKind::folder) throw ToolError{folder + ": is not a folder"};
  std::vector<GameFile> files;
  struct Pending {
    std::string name, path;  // relative name ("" for the top), path on disk
  };
  std::vector<Pending> folders = {{"", folder}};
  while (!folders.empty()) {
    const Pending at = std::move(folders.back());
    folders.pop_back();
    for (FolderItem& item : ListFolder(at.path)) {
      const std::string name = at.name.empty() ? item.name : at.name + "/" + item.name;
      std::string path = JoinPath(at.path, item.name);
      const bool mayBeFolder = item.kind == PathKind::folder || item.kind == PathKind::link;
      if (leaveOut && leaveOut(name, mayBeFolder)) continue;
      if (!item.nameIsUtf16)
        throw ToolError{path + ": the name holds a lone UTF-16 surrogate, which has no UTF-8 form to store in the "
                        "package"};
      switch (item.kind) {
        case PathKind::file:
          files.push_back({name, std::move(path), item.size});
          break;
        case PathKind::folder:
          folders.push_back({name, std::move(path)});
          break;
        case PathKind::link:
          throw ToolError{path + ": is a symbolic link or junction; the package holds files, not links. Replace "
                          "it with the file or folder it points to"};
        case PathKind::other:
          throw ToolError{path + ": is not a regular file (a device, socket or pipe), which a package cannot hold"};
        case PathKind::missing:
          throw ToolError{path + ": disappeared while the folder was read"};
      }
    }
  }
  return files;
}

}  // namespace lomar::pack
