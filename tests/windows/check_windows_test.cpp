#include <gtest/gtest.h>

#include <windows.h>

#include "core/check_windows.h"
#include "core/messages.h"

namespace lomar {
namespace {

Text MessageOf(DWORD lastError) {
  SetLastError(lastError);
  try {
    CheckWindows(false, msg::cannotWriteRuntime);
  } catch (const Failure& failure) {
    return failure.message;
  }
  ADD_FAILURE() << "CheckWindows(false) returned";
  return {};
}

TEST(CheckWindows, AppendsTheThreadsLastErrorToTheText) {
  EXPECT_EQ(MessageOf(ERROR_ACCESS_DENIED), L"Cannot write the portable runtime (Windows error 5).");
  EXPECT_EQ(MessageOf(0), L"Cannot write the portable runtime (Windows error 0).");
  EXPECT_EQ(MessageOf(0xC0000005), L"Cannot write the portable runtime (Windows error 3221225477).");
}

TEST(CheckWindows, ReturnsWhenTheCallSucceeded) {
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_NO_THROW(CheckWindows(true, msg::cannotWriteRuntime));
}

}  // namespace
}  // namespace lomar
