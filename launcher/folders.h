// The folders beside the launcher, all derived from its own module path. Paths
// are used as spelled: never normalised, made absolute or case-changed.
#pragma once

#include "core/path_text.h"
#include "core/text.h"

namespace lomar {

struct Folders {
  Text exeDir;      // the portable folder; the folder lock's identity
  Text dataDir;     // only ever tested for redirection, never created
  Text runtimeDir;  // receives every package file
  Text gameExe;     // started in the normal mode
};

// The module path without its last component and the separators before it; a
// separator right after the drive or share root stays ("C:\x.exe" gives "C:\").
Text FolderOfModulePath(TextView modulePath);

Folders FoldersFor(TextView modulePath);

}  // namespace lomar
