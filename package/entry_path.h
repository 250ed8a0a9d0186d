// The rules an entry name obeys so that joining it to the runtime folder names
// an ordinary file inside that folder, stored under exactly that name.
#pragma once

#include "core/text.h"

namespace lomar {

// Throws Failure with msg::invalidPath, msg::unsafePath or msg::reservedFilename
// for the first rule the name breaks; never changes the name.
void CheckEntryPath(TextView name);

}  // namespace lomar
