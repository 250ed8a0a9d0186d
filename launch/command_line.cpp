#include "launch/command_line.h"

namespace lomar {

Text QuoteArgument(TextView text) {
  Text quoted(1, LT('"'));
  std::size_t backslashes = 0;
  for (const Unit unit : text) {
    if (unit == LT('\\')) {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote escape each other and then the quote; before anything else they stand.
    quoted.append(unit == LT('"') ? 2 * backslashes + 1 : backslashes, LT('\\'));
    quoted += unit;
    backslashes = 0;
  }
  // Before the closing quote, they would escape it.
  quoted.append(2 * backslashes, LT('\\'));
  quoted += LT('"');
  return quoted;
}

Text GameCommandLine(TextView gameExe, int argc, const Unit* const* argv) {
  Text line = QuoteArgument(gameExe);
  for (int i = 1; i < argc; ++i) {
    line += LT(' ');
    line += QuoteArgument(argv[i]);
  }
  return line;
}

}  // namespace lomar
