#include "pack/progress.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace lomar::pack {

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

Progress::Progress(std::string verb, std::uint64_t entries, std::uint64_t bytes)
    : shown_(StandardErrorIsTerminal()),
      verb_(std::move(verb)),
      entries_(entries),
      totalBytes_(bytes),
      start_(std::chrono::steady_clock::now()) {
  if (shown_) ticker_ = std::thread([this] { Tick(); });
}

Progress::~Progress() {
  if (!shown_) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  ticker_.join();
  Draw(true);
}

void Progress::StartEntry(std::uint64_t index, std::string name) {
  if (!shown_) return;
  std::lock_guard lock(mutex_);
  entry_ = index;
  name_ = std::move(name);
}

void Progress::Done() {
  std::lock_guard lock(mutex_);
  done_ = true;
}

void Progress::Tick() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return stopping_; })) {
    lock.unlock();
    Draw(false);
    lock.lock();
  }
}

void Progress::Draw(bool last) {
  std::uint64_t entry;
  std::string name;
  {
    std::lock_guard lock(mutex_);
    entry = done_ ? entries_ : entry_ + 1;
    name = done_ ? std::string() : name_;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double done = static_cast<double>(bytes_.load(std::memory_order_relaxed)) / 1e6;
  const double rate = seconds > 0 ? done / seconds : 0;
  // Long names are cut from the front, where they say least.
  constexpr std::size_t room = 32;
  if (name.size() > room) {
    std::size_t cut = name.size() - room + 3;
    while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) ++cut;  // whole characters
    name = "..." + name.substr(cut);
  }
  std::fprintf(stderr, "\r%s %llu/%llu files  %.1f of %.1f MB  %.1f MB/s  %-*s%s", verb_.c_str(),
               static_cast<unsigned long long>(entry), static_cast<unsigned long long>(entries_), done,
               static_cast<double>(totalBytes_) / 1e6, rate, static_cast<int>(room), name.c_str(), last ? "\n" : "");
  std::fflush(stderr);
}

}  // namespace lomar::pack
