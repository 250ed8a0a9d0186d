// The small window that shows preparation advancing entry by entry, and the user's one way to cancel it:
// closing the window. It has no message loop of its own; its messages are handled in Update, between
// entries.
#pragma once

#include <windows.h>

#include <cstdint>

namespace lomar {

class ProgressWindow {
 public:
  // Creates and shows the window in the middle of the primary screen, then runs Update(0). Throws Failure
  // msg::cannotShowProgress with the Windows error suffix when the window cannot be created.
  ProgressWindow();
  ~ProgressWindow();  // destroys the window if it still exists
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // Moves the bar to `percent`, then handles every message waiting and returns. Throws Failure
  // msg::cancelled once the user has closed the window.
  void Update(std::uint64_t percent);

 private:
  HWND window_ = nullptr;
  HWND bar_ = nullptr;
};

}  // namespace lomar
