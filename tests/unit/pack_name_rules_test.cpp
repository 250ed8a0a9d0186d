#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "pack/name_rules.h"
#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

std::vector<GameFile> Files(const std::vector<std::string>& names, std::uint64_t size = 10) {
  std::vector<GameFile> files;
  for (const std::string& name : names) files.push_back({name, "game/" + name, size});
  return files;
}

// The message of the refusal, or "" when the set passes.
std::string Verdict(std::vector<GameFile> files) {
  try {
    CheckAndSortNames(files, "game");
    return "";
  } catch (const ToolError& e) {
    return e.message;
  }
}

TEST(CheckAndSortNames, SortsByThePortableLowerCaseWhateverTheListingOrder) {
  const std::vector<std::string> expected = {"a/y.txt", "a/Z.txt", "B.txt", "con .d/readme", "LOMARVesperon.exe",
                                             "\xC3\x89t\xC3\xA9.txt", "\xCF\x83.txt"};
  std::vector<std::string> names = expected;
  std::mt19937 random(5);
  for (int round = 0; round < 5; ++round) {
    std::shuffle(names.begin(), names.end(), random);
    std::vector<GameFile> files = Files(names);
    CheckAndSortNames(files, "game");
    std::vector<std::string> sorted;
    for (const GameFile& file : files) sorted.push_back(file.name);
    EXPECT_EQ(sorted, expected);
  }
}

// Each refusal names the file, or both files, and says why; the first problem found does not depend on the
// order in which the folder was listed.
TEST(CheckAndSortNames, RefusesWhatTheLauncherOrWindowsWouldNotTake) {
  struct Case {
    std::vector<std::string> names;
    std::vector<std::string> said;  // every one of these is in the message
  };
  const std::string game = "LOMARVesperon.exe";
  const Case cases[] = {
      {{game, "A.txt", "a.txt"}, {"game/A.txt and game/a.txt", "letter case"}},
      {{game, "Data/x", "data/X"}, {"game/Data/x and game/data/X", "letter case"}},
      {{game, "\xCF\x83.txt", "\xCF\x82.txt"}, {"game/\xCF\x82.txt and game/\xCF\x83.txt", "capital"}},
      {{game, "\xC2\xB5", "\xCE\xBC"}, {"game/\xC2\xB5 and game/\xCE\xBC", "capital"}},
      {{game, "s", "\xC5\xBF"}, {"game/s and game/\xC5\xBF", "capital"}},
      {{game, "A", "a/b"}, {"game/A and game/a/b", "needs a folder"}},
      {{game, "x/Y", "x/y/z"}, {"game/x/Y and game/x/y/z", "needs a folder"}},
      {{game, "\xCF\x82", "\xCF\x83/b"}, {"game/\xCF\x82 and game/\xCF\x83/b", "needs a folder"}},
      {{game, "con .txt"}, {"game/con .txt", "Windows 10"}},
      {{game, "logs/NUL   .log"}, {"game/logs/NUL   .log", "Windows 10"}},
      {{game, "docs/CON.txt"}, {"game/docs/CON.txt", "Reserved portable filename."}},
      {{game, "com\xC2\xB9.dll"}, {"Reserved portable filename."}},
      {{game, "a."}, {"game/a.", "Unsafe portable file path."}},
      {{game, "a /b"}, {"Unsafe portable file path."}},
      {{game, "a:b"}, {"Unsafe portable file path."}},
      {{game, "a\\b"}, {"Unsafe portable file path."}},
      {{game, "tab\there"}, {"Unsafe portable file path."}},
      {{game, "bad\xFF"}, {"game/bad\xFF", "not valid UTF-8"}},
      {{game, "cut\xE2\x82"}, {"not valid UTF-8"}},
      {{game, std::string(2049, 'n')}, {"2049 bytes", "2048"}},
      {{"game.exe"}, {"game: has no LOMARVesperon.exe"}},
      {{"bin/LOMARVesperon.exe"}, {"no LOMARVesperon.exe"}},
      {{"LOMARVesperon.exe.bak"}, {"no LOMARVesperon.exe"}},
      {{}, {"game: holds no files"}},
  };
  std::mt19937 random(9);
  for (const Case& c : cases) {
    std::vector<std::string> names = c.names;
    const std::string first = Verdict(Files(names));
    ASSERT_FALSE(first.empty()) << c.said[0];
    for (const std::string& part : c.said) EXPECT_NE(first.find(part), std::string::npos) << first;
    std::shuffle(names.begin(), names.end(), random);
    EXPECT_EQ(Verdict(Files(names)), first);
  }
}

TEST(CheckAndSortNames, TakesTheLimitsToTheirEdge) {
  std::vector<std::string> names = {"LOMARVesperon.exe", std::string(2048, 'n')};
  for (int i = 0; names.size() < 4096; ++i) names.push_back("f" + std::to_string(i));
  EXPECT_EQ(Verdict(Files(names)), "");
  names.push_back("one-more");
  EXPECT_NE(Verdict(Files(names)).find("4097 files"), std::string::npos);

  EXPECT_EQ(Verdict(Files({"LOMARVesperon.exe", "b"}, 0x10000000)), "");
  std::vector<GameFile> over = Files({"LOMARVesperon.exe", "b"}, 0x10000000);
  over[1].size += 1;
  EXPECT_NE(Verdict(over).find("536870913 bytes"), std::string::npos);
}

}  // namespace
}  // namespace lomar::pack
