#include "pack/package_diff.h"

#include <algorithm>

#include "core/unicode.h"

namespace lomar::pack {
namespace {

struct Keyed {
  Text key;
  std::size_t index;  // in stored order, which breaks ties
  const PackageEntry* entry;
};

std::vector<Keyed> KeyedByLowerCase(const PackageView& entries) {
  std::vector<Keyed> keyed;
  keyed.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i)
    keyed.push_back({PortableLowerCased(entries[i].name), i, &entries[i]});
  std::sort(keyed.begin(), keyed.end(),
            [](const Keyed& a, const Keyed& b) { return a.key != b.key ? a.key < b.key : a.index < b.index; });
  return keyed;
}

}  // namespace

PackageDiff DiffPackages(const PackageView& before, const PackageView& after) {
  const std::vector<Keyed> old = KeyedByLowerCase(before), now = KeyedByLowerCase(after);
  PackageDiff diff;
  auto add = [&](const PackageEntry* entry) {
    diff.added.push_back(entry);
    ++diff.updateFiles;
    diff.updateBytes += entry->unpackedSize;
  };
  std::size_t o = 0, n = 0;
  while (o < old.size() || n < now.size()) {
    if (n == now.size() || (o < old.size() && old[o].key < now[n].key)) {
      diff.removed.push_back(old[o++].entry);
    } else if (o == old.size() || now[n].key < old[o].key) {
      add(now[n++].entry);
    } else {
      const EntryPair pair{old[o++].entry, now[n++].entry};
      // A size that disagrees with an equal digest can only come from a damaged package; the launcher would
      // rewrite that file, so it counts.
      if (pair.before->digest != pair.after->digest || pair.before->unpackedSize != pair.after->unpackedSize) {
        diff.changed.push_back(pair);
        ++diff.updateFiles;
        diff.updateBytes += pair.after->unpackedSize;
      } else {
        ++diff.unchanged;
        if (pair.before->name != pair.after->name) diff.renamed.push_back(pair);
      }
    }
  }
  return diff;
}

}  // namespace lomar::pack
