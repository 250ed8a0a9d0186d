// ReportFailure under Wine with every allocation failing: the line still reaches standard error, and the
// run still ends with exit code 1.
#include <gtest/gtest.h>

#include <windows.h>

#include <new>
#include <string>

#include "core/failure.h"
#include "core/messages.h"
#include "launcher/report_failure.h"
#include "failing_allocations.h"

namespace lomar {
namespace {

TEST(ReportFailure, EndsWithExitCode1AndItsLineWhenNothingCanBeAllocated) {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring path = std::wstring(temp) + L"lomar-report-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const HANDLE previous = GetStdHandle(STD_ERROR_HANDLE);
  SetStdHandle(STD_ERROR_HANDLE, file);
  const std::exception_ptr caught[] = {std::make_exception_ptr(Failure{WithWindowsError(msg::cannotWriteRuntime, 112)}),
                                       std::make_exception_ptr(std::bad_alloc())};
  int codes[2];
  testing::FailAllocations(true);
  for (int i = 0; i < 2; ++i) codes[i] = ReportFailure(caught[i], true);
  testing::FailAllocations(false);
  SetStdHandle(STD_ERROR_HANDLE, previous);
  EXPECT_EQ(codes[0], 1);
  EXPECT_EQ(codes[1], 1);
  char written[1024];
  DWORD got = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  ASSERT_TRUE(ReadFile(file, written, sizeof written, &got, nullptr));
  CloseHandle(file);
  EXPECT_EQ(std::string(written, got), "LOMAR portable: Cannot write the portable runtime (Windows error 112).\n"
                                       "LOMAR portable: " + ToUtf8(msg::standardException) + "\n");
}

}  // namespace
}  // namespace lomar
