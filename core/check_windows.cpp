#include "core/check_windows.h"

#include <windows.h>

namespace lomar {

void CheckWindows(bool ok, const wchar_t* text) {
  if (ok) return;
  const DWORD error = GetLastError();
  throw Failure{WithWindowsError(text, error)};
}

}  // namespace lomar
