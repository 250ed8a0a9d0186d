#include "core/failure.h"

#include <stdexcept>

#include "core/messages.h"

namespace lomar {

Text WindowsErrorSuffix(std::uint32_t error) {
  return LT(" (Windows error ") + WidenAscii(std::to_string(error)) + LT(").");
}

Text WithWindowsError(const Unit* text, std::uint32_t error) {
  return Text(text) + WindowsErrorSuffix(error);
}

const Unit* FailureMessage(const std::exception_ptr& caught) {
  try {
    std::rethrow_exception(caught);
  } catch (const Failure& failure) {
    return failure.message.c_str();
  } catch (const std::exception&) {
    // The library's own description names paths and is not for the user.
    return msg::standardException;
  }
}

}  // namespace lomar
