#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/exclude_patterns.h"
#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

ExcludePatterns Patterns(const std::vector<std::string>& patterns) {
  ExcludePatterns compiled;
  for (const std::string& pattern : patterns) compiled.Add(pattern);
  return compiled;
}

struct Case {
  const char* pattern;
  const char* path;
  bool folder;
  bool excluded;
};

void ExpectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const ExcludePatterns patterns = Patterns({c.pattern});
    EXPECT_EQ(patterns.Matching(c.path, c.folder) != nullptr, c.excluded)
        << "pattern " << c.pattern << ", path " << c.path << (c.folder ? " (folder)" : "");
  }
}

TEST(ExcludePatterns, StarAndQuestionMarkStayWithinOneComponent) {
  ExpectCases({
      {"*.pdb", "game.pdb", false, true},
      {"*.pdb", ".pdb", false, true},
      {"*.pdb", "bin/game.pdb", false, false},  // a pattern is matched against the whole path
      {"*.pdb", "game.pdb.bak", false, false},
      {"bin/*", "bin/a", false, true},
      {"bin/*", "bin", true, false},
      {"*/cache", "tools/cache", true, true},
      {"*/cache", "tools/x/cache", true, false},
      {"a*b*c", "aXXbYYc", false, true},
      {"a*b*c", "aXXbYYcZ", false, false},
      {"a*b*c", "abcbc", false, true},
      {"level ?.map", "level 1.map", false, true},
      {"level ?.map", "level 10.map", false, false},
      {"level ?.map", "level .map", false, false},
      {"?", "ab/c", false, false},
      {"a?b", "a/b", false, false},  // ? never stands for the separator
      {"[ab].txt", "[ab].txt", false, true},
      {"[ab].txt", "a.txt", false, false},
  });
}

TEST(ExcludePatterns, DoubleStarMatchesAnyNumberOfComponentsAtStartMiddleOrEnd) {
  ExpectCases({
      {"**/*.pdb", "game.pdb", false, true},
      {"**/*.pdb", "bin/x64/game.pdb", false, true},
      {"**/*.pdb", "bin/x64/game.dll", false, false},
      {".git/**", ".git/objects/ab/cdef", false, true},
      {".git/**", ".git", true, true},  // none at all: the folder itself, which is then never listed
      {".git/**", ".github/workflows/ci.yml", false, false},
      {"tools/**/cache", "tools/cache", true, true},
      {"tools/**/cache", "tools/a/b/cache", true, true},
      {"tools/**/cache", "tools/a/b/cache/blob", false, true},
      {"tools/**/cache", "tools/a/b/cached", true, false},
      {"tools/**/cache", "data/tools/cache", true, false},
      {"**/cache/**/*.tmp", "x/cache/y/z/a.tmp", false, true},
      {"**/cache/**/*.tmp", "x/cache/a.tmp", false, true},
      {"**/cache/**/*.tmp", "x/cachet/a.tmp", false, false},
      {"**", "anything/at/all", false, true},
      {"a**b", "aXb", false, true},  // not alone in its component: two stars within it
      {"a**b", "a/b", false, false},
  });
}

TEST(ExcludePatterns, QuestionMarkIsOneCodePointOfUtf8) {
  ExpectCases({
      {"?.txt", "\xCF\x83.txt", false, true},               // σ, two bytes
      {"?.txt", "\xE6\x97\xA5.txt", false, true},           // 日, three bytes
      {"?.txt", "\xF0\x9F\x8E\xAE.txt", false, true},       // a game controller, four bytes
      {"??.txt", "\xCF\x83.txt", false, false},
      {"?.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt", false, false},
      {"\xE6\x97\xA5?\xE8\xAA\x9E", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", false, true},
      // Bytes that are no UTF-8 are one character each, matched by ? and * and by themselves.
      {"bad?.tmp", "bad\xFF.tmp", false, true},
      {"*.tmp", "bad\xFF\xFE.tmp", false, true},
      {"bad\xFF.tmp", "bad\xFF.tmp", false, true},
      {"bad?.tmp", "bad\xC3.tmp", false, true},  // a cut sequence: its lead byte alone
      {"bad?.tmp", "bad\xC3\xA9.tmp", false, true},
  });
}

TEST(ExcludePatterns, LetterCaseIsFoldedAsTheNameRulesFoldIt) {
  ExpectCases({
      {"*.PDB", "x.pdb", false, true},
      {"*.pdb", "X.PDB", false, true},
      {"DATA/**", "data/maps/a.map", false, true},
      {"\xC3\x89t\xC3\xA9.txt", "\xC3\xA9T\xC3\x89.TXT", false, true},          // Été / éTÉ
      {"\xCE\xA9*", "\xCF\x89mega", false, true},                               // Ω / ω
      {"\xD0\x94\xD0\x90\xD0\x9D\xD0\x9D\xD0\xAB", "\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B", false, true},  // ДАННЫ
      {"\xF0\x90\x90\x80.txt", "\xF0\x90\x90\xA8.txt", false, true},           // Deseret 𐐀 / 𐐨, beyond 16 bits
      {"e.txt", "\xC3\xA9.txt", false, false},                                 // é is no e
      {"\xC3\x9F", "ss", false, false},                                        // ß stays one letter
  });
}

TEST(ExcludePatterns, AFolderLeavesOutEverythingBelowIt) {
  ExpectCases({
      {".git", ".git", true, true},
      {".git", ".git/config", false, true},
      {".git", ".git/objects/ab/cdef", false, true},
      {".git", "sub/.git/config", false, false},
      {"**/.git", "sub/.git/config", false, true},
      {"tools/**/cache", "tools/a/cache/deep/blob", false, true},
      {"build/", "build", true, true},  // a trailing / matches folders only
      {"build/", "build", false, false},
      {"build/", "build/out.bin", false, true},
      {"**/obj/", "src/obj/a.o", false, true},
      {"**/obj/", "src/obj", false, false},
  });
}

TEST(ExcludePatterns, NamesTheFirstPatternThatMatches) {
  const ExcludePatterns patterns = Patterns({"*.txt", "**/*.pdb", "docs"});
  ASSERT_NE(patterns.Matching("a/b.pdb", false), nullptr);
  EXPECT_EQ(*patterns.Matching("a/b.pdb", false), "**/*.pdb");
  EXPECT_EQ(*patterns.Matching("docs/readme.txt", false), "docs");
  EXPECT_EQ(*patterns.Matching("readme.txt", false), "*.txt");
  EXPECT_EQ(patterns.Matching("a/readme.txt", false), nullptr);
  EXPECT_EQ(Patterns({}).Matching("anything", false), nullptr);
  EXPECT_EQ(patterns.Patterns(), (std::vector<std::string>{"*.txt", "**/*.pdb", "docs"}));
}

TEST(ExcludePatterns, MalformedPatternsAreUsageErrorsThatNameThem) {
  const struct {
    std::string pattern;
    const char* said;
  } cases[] = {
      {"", "empty"},
      {"tools\\cache", "/, not \\"},
      {"\\", "/, not \\"},
      {"/LOMARVesperon.exe", "never start with /"},
      {"/", "never start with /"},
      {"a//b", "never empty"},
      {"a/./b", "\".\""},
      {"../game", "\"..\""},
      {"data/..", "\"..\""},
      {"a//", "never empty"},
  };
  for (const auto& c : cases) {
    ExcludePatterns patterns;
    try {
      patterns.Add(c.pattern);
      ADD_FAILURE() << c.pattern << " was taken";
    } catch (const UsageError& e) {
      EXPECT_NE(e.message.find("--exclude \"" + c.pattern + "\""), std::string::npos) << e.message;
      EXPECT_NE(e.message.find(c.said), std::string::npos) << e.message;
      EXPECT_NE(e.message.find("--help"), std::string::npos) << e.message;
    }
    EXPECT_TRUE(patterns.Empty());
  }
}

TEST(ExcludePatterns, LeavingOutTheGameExecutableIsRefusedWhateverTheSpelling) {
  for (const char* pattern : {"LOMARVesperon.exe", "lomarvesperon.EXE", "*.exe", "*", "**", "**/*.exe",
                              "LOMAR?esperon.*", "L*"}) {
    try {
      RefuseLeavingOutTheGame(Patterns({"**/*.pdb", pattern}));
      ADD_FAILURE() << pattern << " was taken";
    } catch (const UsageError& e) {
      EXPECT_NE(e.message.find(std::string("\"") + pattern + "\""), std::string::npos) << e.message;
      EXPECT_NE(e.message.find("LOMARVesperon.exe"), std::string::npos) << e.message;
    }
  }
  for (const char* pattern : {"bin/*.exe", "LOMARVesperon.exe/", "LOMARVesperon.exe.bak", "*/LOMARVesperon.exe"})
    EXPECT_NO_THROW(RefuseLeavingOutTheGame(Patterns({pattern}))) << pattern;
}

}  // namespace
}  // namespace lomar::pack
