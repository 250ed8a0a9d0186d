#include "launcher/report_failure.h"

#include <windows.h>

#include <string>

#include "core/failure.h"

namespace lomar {
namespace {

// Written straight to the inherited handle: a GUI program may have no CRT
// stream set up, and the line must be exactly what is formatted here.
void WriteStandardErrorLine(const Text& text) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  const std::string line = "LOMAR portable: " + ToUtf8(text) + "\n";
  DWORD written = 0;
  WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

int ReportFailure(std::exception_ptr caught, bool extractOnly) {
  const Text text = FailureMessage(caught);
  WriteStandardErrorLine(text);
  if (!extractOnly) MessageBoxW(nullptr, text.c_str(), L"LOMAR Vesperon", MB_OK | MB_ICONERROR);
  return 1;
}

}  // namespace lomar
