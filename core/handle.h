// A Windows handle owned by its scope: closed on every way out, unless it is null or INVALID_HANDLE_VALUE.
#pragma once

#include <windows.h>

namespace lomar {

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  void Close() { Reset(nullptr); }
  // Closes what is held and holds `handle` instead.
  void Reset(HANDLE handle) {
    if (Valid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace lomar
