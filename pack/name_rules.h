// Whether a set of game files can become a package that the launcher accepts and that Windows lays out
// file for file: the launcher's own name rules and limits, and what NTFS would confuse on top of them.
#pragma once

#include <string>
#include <vector>

#include "pack/game_folder.h"

namespace lomar::pack {

// Refuses, naming the file or both files, the first problem with the set (ToolError), then sorts the files
// as the package stores them: by their names lower-cased with the portable table, code unit by code unit,
// the same on every platform whatever order the folder was listed in. `folder` names the whole set.
void CheckAndSortNames(std::vector<GameFile>& files, const std::string& folder);

}  // namespace lomar::pack
