// What `build --exclude` leaves out of a package: glob patterns over paths relative to the game folder,
// compared as Windows compares names, without regard to letter case.
//
// A pattern is matched against the whole relative path, "/" between folders. In a component, `*` matches
// any run of characters and `?` one character (a code point of UTF-8, not a byte); a component that is
// `**` alone matches any number of components, none included. A pattern that matches a folder also leaves
// out everything below it; one that ends in "/" matches folders only. Letters are compared through the
// portable lower-case table the name rules use, so `*.PDB` matches `x.pdb` and `Ω` matches `ω`. Nothing
// else is special: `[` and `{` are ordinary characters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lomar::pack {

class ExcludePatterns {
 public:
  // Throws UsageError, naming the pattern, for one that is empty, holds a backslash (folders are separated
  // by "/"), starts with "/", or has an empty, "." or ".." component: patterns are relative paths, and such
  // a pattern would match nothing.
  void Add(const std::string& pattern);

  bool Empty() const { return patterns_.empty(); }
  const std::vector<std::string>& Patterns() const { return texts_; }

  // The first pattern, as given, that leaves out `path` (a relative path as the file system spells it,
  // any bytes, "/" between folders; `folder` says what its last component is), because it matches the
  // path itself or a folder on its way; nullptr when none does.
  const std::string* Matching(std::string_view path, bool folder) const;

 private:
  struct Pattern {
    std::vector<std::u32string> components;  // lower-cased code points; U"**" for any components
    bool foldersOnly = false;
  };

  std::vector<std::string> texts_;
  std::vector<Pattern> patterns_;
};

// Throws UsageError naming the first pattern that would leave out the game executable at the top level,
// which every package must hold: better said before anything is read than as a missing executable after.
void RefuseLeavingOutTheGame(const ExcludePatterns& patterns);

}  // namespace lomar::pack
