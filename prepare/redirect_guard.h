// Refuses to work through a redirection: no folder or file on the way from a base folder down to a path the
// launcher is about to use may be a junction, a symbolic link or any other reparse point.
#pragma once

#include <string_view>

namespace lomar {

// Tests `base`, then each path that joining the elements of `relative` onto it one at a time gives, and
// throws Failure msg::redirectedPath at the first that exists and is a reparse point. A path whose
// attributes cannot be read (missing, denied, invalid) passes. Nothing above `base` is tested.
void RefuseRedirectedPath(std::wstring_view base, std::wstring_view relative);

}  // namespace lomar
