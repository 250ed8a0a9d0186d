#include "launcher/report_failure.h"

#include <windows.h>

#include "core/failure.h"
#include "launcher/report_line.h"

namespace lomar {

int ReportFailure(std::exception_ptr caught, bool extractOnly) noexcept {
  // Nothing here allocates, so that not even running out of memory changes how the run ends. The text lives
  // in `caught`, or is a literal.
  const Unit* text = FailureMessage(caught);
  // Written straight to the inherited handle: a GUI program may have no CRT stream set up. A line that
  // cannot be written is lost, and the run ends the same.
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error != nullptr && error != INVALID_HANDLE_VALUE) {
    char line[8192];
    const std::size_t length = FormatReportLine(text, line);
    DWORD written = 0;
    WriteFile(error, line, static_cast<DWORD>(length), &written, nullptr);
  }
  if (!extractOnly) MessageBoxW(nullptr, text, L"LOMAR Vesperon", MB_OK | MB_ICONERROR);
  return 1;
}

}  // namespace lomar
