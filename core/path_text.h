// Windows paths as text: joined, split into elements and cut back to their folder without touching the
// file system, and without normalising anything.
#pragma once

#include <cstddef>
#include <vector>

#include "core/text.h"

namespace lomar {

// Both separators count.
bool IsSeparator(Unit c);

// Length of the root name at the start of a path: "C:", "\\server\share",
// "\\?\C:", "\\?\UNC\server\share", or 0 when the path has none.
std::size_t RootNameLength(TextView path);

// Exactly one backslash between folder and name, none when the folder already
// ends in a separator. An empty name adds the backslash alone.
Text JoinPath(TextView folder, TextView name);

// The elements of a relative path as the standard path iteration gives them: runs
// of either separator split elements, and a separator at the end gives a final
// empty element.
std::vector<TextView> PathElements(TextView relative);

// The path without its last element and the separators before it; a root keeps
// its own separator ("C:\a" gives "C:\"), and a path of one element gives "".
Text ParentFolder(TextView path);

}  // namespace lomar
