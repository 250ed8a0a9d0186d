// The one exception type of the launcher: a finished sentence for the user.
#pragma once

#include <cstdint>
#include <exception>

#include "core/text.h"

namespace lomar {

struct Failure {
  Text message;
};

// " (Windows error N)." with N in unsigned decimal.
Text WindowsErrorSuffix(std::uint32_t error);

// The text that a failed Windows call reaches the user with: fixed text, then the suffix.
Text WithWindowsError(const Unit* text, std::uint32_t error);

// What the user is shown for whatever reached the failure boundary: a Failure's own
// message, or one fixed text for any standard-library exception. Anything else is
// rethrown: nothing else is ever thrown on purpose. Nothing is allocated, so an
// allocation failure cannot stop the report: the text is the Failure's own, inside
// `caught` (valid as long as it is held), or a literal.
const Unit* FailureMessage(const std::exception_ptr& caught);

}  // namespace lomar
