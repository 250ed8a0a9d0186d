// The game's command line: its own path, then the launcher's arguments, each quoted so that the game's
// CommandLineToArgvW gives back exactly what the launcher received.
#pragma once

#include "core/text.h"

namespace lomar {

// Always in quotes; backslashes doubled only before a quote or at the end, quotes escaped.
Text QuoteArgument(TextView text);

// QuoteArgument(gameExe), then a space and QuoteArgument(argv[i]) for i from 1 to argc - 1.
Text GameCommandLine(TextView gameExe, int argc, const Unit* const* argv);

}  // namespace lomar
