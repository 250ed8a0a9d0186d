// The game's environment: the launcher's own, with every LOMAR_PORTABLE_ROOT of any letter case replaced
// by one that names the launcher's folder, sorted as Windows keeps an environment block.
#pragma once

#include <vector>

#include "core/text.h"

namespace lomar {

inline constexpr TextView portableRootName = LT("LOMAR_PORTABLE_ROOT");

// The entries of an environment block as GetEnvironmentStringsW gives it: NUL-terminated strings up to the
// first empty one.
std::vector<Text> SplitEnvironmentBlock(const Unit* block);

// The child's block from the parent's entries: drops each entry whose lower-cased first 20 code units are
// "lomar_portable_root=", adds "LOMAR_PORTABLE_ROOT=" followed by exeDir, sorts the whole entries with A to
// Z folded to lower case and nothing else, and lays them out each followed by a NUL, with one more NUL at
// the end.
Text ChildEnvironmentBlock(std::vector<Text> entries, TextView exeDir);

}  // namespace lomar
