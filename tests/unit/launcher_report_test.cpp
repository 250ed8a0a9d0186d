// The failure report cannot itself fail in a way that changes the outcome: finding the text and formatting
// the standard-error line allocate nothing, so they work with every allocation failing.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "core/failure.h"
#include "core/messages.h"
#include "launcher/report_line.h"
#include "failing_allocations.h"

namespace lomar {
namespace {

std::string Report(const std::exception_ptr& caught, std::size_t room) {
  char line[8192];
  testing::FailAllocations(true);
  const Unit* text = FailureMessage(caught);
  const std::size_t length = FormatReportLine(text, std::span<char>(line, room));
  testing::FailAllocations(false);
  return std::string(line, length);
}

TEST(FailureReport, FindsItsTextAndFormatsItsLineWithEveryAllocationFailing) {
  testing::FailAllocations(true);
  EXPECT_THROW((void)new int(1), std::bad_alloc);  // the failure is real
  testing::FailAllocations(false);
  const std::string standard = ToUtf8(msg::standardException);
  struct Case {
    std::exception_ptr caught;
    std::size_t room;
    std::string line;
  };
  const Case cases[] = {
      {std::make_exception_ptr(Failure{WithWindowsError(msg::cannotWriteRuntime, 5)}), 8192,
       "LOMAR portable: Cannot write the portable runtime (Windows error 5).\n"},
      {std::make_exception_ptr(std::bad_alloc()), 8192, "LOMAR portable: " + standard + "\n"},
      {std::make_exception_ptr(std::length_error("basic_string")), 8192, "LOMAR portable: " + standard + "\n"},
      {std::make_exception_ptr(Failure{LT("caf\u00e9 \U0001F600")}), 8192, "LOMAR portable: caf\xC3\xA9 \xF0\x9F\x98\x80\n"},
      // Cut at a whole character, and still one line.
      {std::make_exception_ptr(Failure{LT("caf\u00e9")}), 16 + 4 + 1, "LOMAR portable: caf\n"},
      {std::make_exception_ptr(Failure{LT("caf\u00e9")}), 16 + 5 + 1, "LOMAR portable: caf\xC3\xA9\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Report(c.caught, c.room), c.line);
}

}  // namespace
}  // namespace lomar
