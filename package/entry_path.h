// The rules an entry name obeys so that joining it to the runtime folder names
// an ordinary file inside that folder, stored under exactly that name.
#pragma once

#include "core/text.h"

namespace lomar {

// Throws Failure with msg::invalidPath, msg::unsafePath or msg::reservedFilename
// for the first rule the name breaks; never changes the name. Device names are
// found on a copy lower-cased as Windows does it (LowerCase).
void CheckEntryPath(TextView name);

// The same rules with the portable lower-casing on every platform, which folds
// at least what Windows folds: the packer's Linux and Windows builds judge every
// name alike, and never let through a name the launcher would refuse.
void CheckEntryPathPortably(TextView name);

}  // namespace lomar
