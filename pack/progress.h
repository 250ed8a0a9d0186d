// A progress line on standard error while the packer works through entries, redrawn a few times a second,
// shown only when standard error is a terminal: a build pipeline's log gets nothing but the result.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace lomar::pack {

bool StandardErrorIsTerminal();

class Progress {
 public:
  // `verb` starts the line ("packing", "verifying"); the totals are what 100% means.
  Progress(std::string verb, std::uint64_t entries, std::uint64_t bytes);
  ~Progress();  // ends the line where the work stopped
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // The entry now being worked on (0-based), whose bytes are counted in Bytes() as they are done.
  void StartEntry(std::uint64_t index, std::string name);
  // Bytes of all entries done so far; a worker thread may add to it.
  std::atomic<std::uint64_t>& Bytes() { return bytes_; }
  // Every entry is done: the last line shows the totals.
  void Done();

 private:
  void Draw(bool last);
  void Tick();

  const bool shown_;
  const std::string verb_;
  const std::uint64_t entries_;
  const std::uint64_t totalBytes_;
  std::atomic<std::uint64_t> bytes_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::uint64_t entry_ = 0;
  std::string name_;
  bool stopping_ = false;
  bool done_ = false;
  std::chrono::steady_clock::time_point start_;
  std::thread ticker_;
};

}  // namespace lomar::pack
