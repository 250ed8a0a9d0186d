// The fast loop: a sub-block's symbols while the input and the output are far from their ends, with no
// bounds checks of its own. Callers may use RunFast, on a lane that Prepare left ready for it, and the
// margins it keeps from the ends.
#pragma once

#include <cstddef>

namespace lomar::xpress {

struct Lane;

// A fast iteration loads 8 bytes at most 16 past where its run started plus 8 per iteration before it
// (see the runs in fast_loop.cpp), and a long length reads up to seven bytes before the reader's position;
// it writes at most 24 bytes from the output position.
inline constexpr std::size_t inMargin = 32;
inline constexpr std::size_t outMargin = 64;

// One lane's fast stretch on its own.
bool RunFast(Lane& l);

}  // namespace lomar::xpress
