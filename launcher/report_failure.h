// How a failed run reaches the user.
#pragma once

#include <exception>

namespace lomar {

// The standard-error line, in both modes, and unless `extractOnly` the error
// message box. Returns the failed run's exit code, 1, whatever happens on the
// way: it allocates nothing and cannot throw.
int ReportFailure(std::exception_ptr caught, bool extractOnly) noexcept;

}  // namespace lomar
