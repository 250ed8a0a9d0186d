// The few file-system operations the packer needs, the same on Linux and Windows: paths are UTF-8 text,
// links are seen rather than followed, and output appears only when it is complete.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lomar::pack {

enum class PathKind {
  missing,
  file,    // a regular file
  folder,  // a real folder
  link,    // a symbolic link, a junction or any other redirection, never followed
  other,   // a device, a socket, a pipe
};

// What stands at the path itself: a link is reported as a link, not as what it points to. Throws ToolError
// when the path cannot be examined for any reason but its absence.
PathKind Inspect(const std::string& path);

struct FolderItem {
  std::string name;  // as the file system spells it; on Windows converted from UTF-16
  PathKind kind;
  std::uint64_t size;  // of a regular file
  // False for a Windows name holding a lone surrogate, which has no UTF-8 form (U+FFFD stands in for it in
  // `name`): the walk refuses it unless it is left out.
  bool nameIsUtf16 = true;
};

// The items of a folder in no particular order, without "." and "..". Throws ToolError naming the folder.
std::vector<FolderItem> ListFolder(const std::string& path);

// The whole file. Throws ToolError naming it.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
// The same into `bytes`, whose memory is reused from call to call: read into fresh memory, every page of
// every file costs a fault, which on a virtual machine takes longer than reading the page.
void ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes);

// Creates one folder; an existing folder is no error. Throws ToolError naming it.
void MakeFolder(const std::string& path);

// "a/b" joined the way the platform writes paths.
std::string JoinPath(const std::string& folder, const std::string& name);

// A file written under a temporary name beside its target and renamed into place by Commit, so that the
// target is never a partial file. Dropped without Commit, or interrupted (Ctrl+C, SIGTERM), the temporary
// file is removed.
class OutputFile {
 public:
  // An executable output gets execute permission where the file system has it.
  OutputFile(std::string target, bool executable);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::span<const std::uint8_t> bytes);
  // Flushes, closes and renames over the target (replacing a file there, or the link itself, never what a
  // link points to).
  void Commit();

 private:
  std::string target_;
  std::string temp_;
  std::intptr_t handle_;
  bool committed_ = false;
};

}  // namespace lomar::pack
