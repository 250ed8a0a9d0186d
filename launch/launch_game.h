// Starts the game from the runtime folder and waits for it: the launcher's exit status is the game's.
#pragma once

#include <cstdint>

#include "core/text.h"

namespace lomar {

// Builds the command line and the environment (LOMAR_PORTABLE_ROOT = exeDir), starts gameExe with the
// launcher's standard handles (when it has a standard output) and working folder, waits without a time-out
// and returns the game's exit code, all 32 bits. argv[0] is the launcher's own and is not passed on.
// Throws Failure with the Windows error suffix when the environment cannot be read, the game cannot be
// started, waited for or its exit code read.
std::uint32_t LaunchGame(TextView gameExe, TextView exeDir, int argc, const wchar_t* const* argv);

}  // namespace lomar
