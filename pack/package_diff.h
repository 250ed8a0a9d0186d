// What an update costs: two packages compared entry by entry as a player's runtime folder sees them, where
// Windows finds a file whatever the letter case of its name and the launcher rewrites exactly the files
// whose content differs from the package's digest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/package_view.h"

namespace lomar::pack {

struct EntryPair {
  const PackageEntry* before;
  const PackageEntry* after;
};

struct PackageDiff {
  // Each list in the order of the lower-cased names, as packages are stored.
  std::vector<const PackageEntry*> added;    // only in the new package
  std::vector<const PackageEntry*> removed;  // only in the old one; the launcher leaves such files in place
  std::vector<EntryPair> changed;            // another digest
  std::vector<EntryPair> renamed;            // the same digest under a name that differs in letter case only
  std::size_t unchanged = 0;                 // the same digest, the renamed included
  // What a player whose runtime folder holds the old package's files unpacks and writes when the new one
  // starts: the changed and the added entries, at their new unpacked sizes.
  std::size_t updateFiles = 0;
  std::uint64_t updateBytes = 0;
};

// Names are matched through the portable lower-case table, the one the name rules and the package order use,
// so the answer is the same on every platform. Within one package the loader allows no two names that fold
// together; should a package from elsewhere hold some, they are paired in stored order and the rest count as
// added or removed.
PackageDiff DiffPackages(const PackageView& before, const PackageView& after);

}  // namespace lomar::pack
