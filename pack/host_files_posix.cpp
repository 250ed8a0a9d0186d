// The packer's file operations on Linux and other POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "pack/host_files.h"
#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

std::string Why(int error) { return std::strerror(error); }

PathKind KindOf(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return PathKind::link;
  if (S_ISREG(info.st_mode)) return PathKind::file;
  if (S_ISDIR(info.st_mode)) return PathKind::folder;
  return PathKind::other;
}

// The temporary file being written, for the signal handler: unlinking is all it may do.
std::atomic<const char*> pendingTemp{nullptr};

extern "C" void RemovePendingTempAndDie(int signal) {
  if (const char* temp = pendingTemp.exchange(nullptr)) unlink(temp);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void WatchInterruptions() {
  static const bool installed = [] {
    for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, RemovePendingTempAndDie);
    return true;
  }();
  (void)installed;
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

PathKind Inspect(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) == 0) return KindOf(info);
  if (errno == ENOENT || errno == ENOTDIR) return PathKind::missing;
  throw ToolError{path + ": cannot examine it: " + Why(errno)};
}

std::vector<FolderItem> ListFolder(const std::string& path) {
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) throw ToolError{path + ": cannot read the folder: " + Why(errno)};
  struct Closer {
    DIR* d;
    ~Closer() { closedir(d); }
  } closer{folder};
  std::vector<FolderItem> items;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(folder);
    if (entry == nullptr) {
      if (errno != 0) throw ToolError{path + ": cannot read the folder: " + Why(errno)};
      return items;
    }
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info;
    if (fstatat(dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
      throw ToolError{JoinPath(path, name) + ": cannot examine it: " + Why(errno)};
    items.push_back({name, KindOf(info), static_cast<std::uint64_t>(info.st_size)});
  }
}

void ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  // A link put in place since the folder was walked is not followed.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) throw ToolError{path + ": cannot open it: " + Why(errno)};
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  struct stat info;
  if (fstat(fd, &info) != 0) throw ToolError{path + ": cannot examine it: " + Why(errno)};
  bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    // One byte more than the size, to see the end; a file that grows meanwhile is read to its new end.
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t got = read(fd, bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw ToolError{path + ": cannot read it: " + Why(errno)};
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  ReadWholeFile(path, bytes);
  return bytes;
}

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return;
  const int error = errno;
  if (error == EEXIST && Inspect(path) == PathKind::folder) return;
  throw ToolError{path + ": cannot create the folder: " + Why(error)};
}

OutputFile::OutputFile(std::string target, bool executable) : target_(std::move(target)), handle_(-1) {
  WatchInterruptions();
  // A name of our own beside the target, so that the rename stays within one file system; a leftover of a
  // killed run does not stand in the way.
  for (int attempt = 0; handle_ < 0; ++attempt) {
    pendingTemp = nullptr;
    temp_ = target_ + ".lomar-partial-" + std::to_string(getpid());
    if (attempt != 0) temp_ += '-' + std::to_string(attempt);
    // Named to the handler before the file exists: an interruption just after open() must not leave it.
    // Should the name be taken, what the handler might remove is a leftover of an earlier process.
    pendingTemp = temp_.c_str();
    const int fd = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, executable ? 0777 : 0666);
    if (fd >= 0) {
      handle_ = fd;
    } else if (errno != EEXIST || attempt > 100) {
      const int error = errno;
      pendingTemp = nullptr;
      throw ToolError{target_ + ": cannot create a file beside it: " + Why(error)};
    }
  }
}

OutputFile::~OutputFile() {
  if (committed_) return;
  pendingTemp = nullptr;
  if (handle_ >= 0) close(static_cast<int>(handle_));
  unlink(temp_.c_str());
}

void OutputFile::Write(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t put = write(static_cast<int>(handle_), bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      throw ToolError{target_ + ": cannot write it: " + Why(errno)};
    }
    bytes = bytes.subspan(static_cast<std::size_t>(put));
  }
}

void OutputFile::Commit() {
  // On disk before it takes the target's name, so that a crash leaves the old file or the whole new one.
  if (fsync(static_cast<int>(handle_)) != 0) throw ToolError{target_ + ": cannot write it: " + Why(errno)};
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  if (close(fd) != 0) throw ToolError{target_ + ": cannot write it: " + Why(errno)};
  if (rename(temp_.c_str(), target_.c_str()) != 0) throw ToolError{target_ + ": cannot put it in place: " + Why(errno)};
  pendingTemp = nullptr;
  committed_ = true;
}

}  // namespace lomar::pack
