#include "prepare/progress_window.h"

#include <commctrl.h>

#include "core/check_windows.h"
#include "core/failure.h"
#include "core/messages.h"

namespace lomar {
namespace {

constexpr int width = 490;
constexpr int height = 140;

}  // namespace

ProgressWindow::ProgressWindow() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  // A predefined static control made top-level: no window class of our own, and the system's handling of
  // the close command destroys it, which is how cancellation is noticed.
  window_ = CreateWindowExW(WS_EX_DLGMODALFRAME, L"STATIC", L"LOMAR Vesperon - preparing portable game",
                            WS_VISIBLE | WS_CAPTION | WS_SYSMENU, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                            (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  CheckWindows(window_ != nullptr, msg::cannotShowProgress);
  // Without the children the window still shows its title and still reports its closing.
  CreateWindowExW(0, L"STATIC", L"Checking and preparing files beside the portable executable...",
                  WS_CHILD | WS_VISIBLE, 18, 18, 450, 25, window_, nullptr, nullptr, nullptr);
  bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 18, 55, 440, 22, window_, nullptr,
                         nullptr, nullptr);
  UpdateWindow(window_);
  Update(0);
}

ProgressWindow::~ProgressWindow() {
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

void ProgressWindow::Update(std::uint64_t percent) {
  if (window_ == nullptr) return;
  if (!IsWindow(window_)) throw Failure{msg::cancelled};
  SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (!IsWindow(window_)) throw Failure{msg::cancelled};
}

}  // namespace lomar
