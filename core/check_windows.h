// Turns a failed Windows call into a Failure that ends in the Windows error suffix.
#pragma once

#include "core/failure.h"

namespace lomar {

// Call right after the Windows call whose success `ok` reports: the thread's
// last-error value is read before anything else can change it.
void CheckWindows(bool ok, const wchar_t* text);

}  // namespace lomar
