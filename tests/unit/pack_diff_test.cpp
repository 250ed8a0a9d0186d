#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text.h"
#include "core/unicode.h"
#include "pack/package_diff.h"

namespace lomar::pack {
namespace {

struct Item {
  std::string name;  // UTF-8
  std::uint64_t size;
  std::uint8_t content;  // stands for the digest
};

PackageView View(const std::vector<Item>& items) {
  PackageView view;
  for (const Item& item : items) {
    Digest digest{};
    digest.fill(item.content);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(item.name.data());
    view.push_back({*PortableDecodeUtf8(bytes, item.name.size()), item.size, digest, nullptr, 0});
  }
  return view;
}

std::vector<std::string> Names(const std::vector<const PackageEntry*>& entries) {
  std::vector<std::string> names;
  for (const PackageEntry* entry : entries) names.push_back(ToUtf8(entry->name));
  return names;
}

std::vector<std::string> Names(const std::vector<EntryPair>& pairs) {
  std::vector<std::string> names;
  for (const EntryPair& pair : pairs) names.push_back(ToUtf8(pair.before->name) + ">" + ToUtf8(pair.after->name));
  return names;
}

TEST(DiffPackages, SortsEntriesIntoWhatAnUpdateWritesAndWhatItLeaves) {
  const struct Case {
    const char* what;
    std::vector<Item> before, after;
    std::vector<std::string> added, removed, changed, renamed;
    std::size_t unchanged, files;
    std::uint64_t bytes;
  } cases[] = {
      {"identical", {{"a", 5, 1}, {"b", 7, 2}}, {{"a", 5, 1}, {"b", 7, 2}}, {}, {}, {}, {}, 2, 0, 0},
      {"one of each",
       {{"LOMARVesperon.exe", 100, 1}, {"data/a.pak", 40, 2}, {"data/old.pak", 30, 3}, {"readme.txt", 9, 4}},
       {{"data/a.pak", 50, 9}, {"data/new.pak", 20, 5}, {"LOMARVesperon.exe", 100, 1}, {"README.TXT", 9, 4}},
       {"data/new.pak"}, {"data/old.pak"}, {"data/a.pak>data/a.pak"}, {"readme.txt>README.TXT"}, 2, 2, 70},
      {"letter case and content", {{"Map.bin", 10, 1}}, {{"map.BIN", 12, 2}}, {}, {}, {"Map.bin>map.BIN"}, {}, 0, 1,
       12},
      // Beyond ASCII, through the portable table: Ω and ω are one file on Windows.
      {"non-ASCII letter case", {{"\xCE\xA9.dat", 3, 1}}, {{"\xCF\x89.dat", 3, 1}}, {}, {}, {},
       {"\xCE\xA9.dat>\xCF\x89.dat"}, 1, 0, 0},
      {"everything new", {{"a", 1, 1}}, {{"b", 2, 1}, {"c", 3, 2}}, {"b", "c"}, {"a"}, {}, {}, 0, 2, 5},
      {"an equal digest with another size", {{"a", 1, 1}}, {{"a", 2, 1}}, {}, {}, {"a>a"}, {}, 0, 1, 2},
      {"empty before", {}, {{"a", 4, 1}}, {"a"}, {}, {}, {}, 0, 1, 4},
      // Two names that fold together in one package from elsewhere: paired in stored order, never both
      // counted against one.
      {"folded twice", {{"A", 1, 1}}, {{"A", 1, 1}, {"a", 2, 2}}, {"a"}, {}, {}, {}, 1, 1, 2},
  };
  for (const Case& c : cases) {
    const PackageView before = View(c.before), after = View(c.after);
    const PackageDiff diff = DiffPackages(before, after);
    EXPECT_EQ(Names(diff.added), c.added) << c.what;
    EXPECT_EQ(Names(diff.removed), c.removed) << c.what;
    EXPECT_EQ(Names(diff.changed), c.changed) << c.what;
    EXPECT_EQ(Names(diff.renamed), c.renamed) << c.what;
    EXPECT_EQ(diff.unchanged, c.unchanged) << c.what;
    EXPECT_EQ(diff.updateFiles, c.files) << c.what;
    EXPECT_EQ(diff.updateBytes, c.bytes) << c.what;
  }
}

}  // namespace
}  // namespace lomar::pack
