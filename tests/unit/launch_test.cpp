// The game's command line and environment block, and the folder lock's name: pure functions, run natively
// and again under Wine, where the command line is also split back by the platform's own CommandLineToArgvW.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/sha256.h"
#include "launch/command_line.h"
#include "launch/environment_block.h"
#include "launcher/lock_name.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace lomar {
namespace {

TEST(QuoteArgument, QuotesEveryArgumentAndEscapesOnlyWhatCommandLineToArgvWReads) {
  struct Case {
    const Unit* text;
    const Unit* quoted;
  };
  const Case cases[] = {
      {LT(""), LT("\"\"")},
      {LT("abc"), LT("\"abc\"")},
      {LT("two words"), LT("\"two words\"")},
      {LT("say \"hi\""), LT("\"say \\\"hi\\\"\"")},
      {LT("a\\\"b"), LT("\"a\\\\\\\"b\"")},
      {LT("a\\\\b"), LT("\"a\\\\b\"")},
      {LT("D:\\games\\"), LT("\"D:\\games\\\\\"")},
      {LT("tab\there"), LT("\"tab\there\"")},
      {LT("\\\\"), LT("\"\\\\\\\\\"")},
      {LT("%PATH% ^ & |"), LT("\"%PATH% ^ & |\"")},
  };
  for (const Case& c : cases) EXPECT_EQ(QuoteArgument(c.text), c.quoted) << ToUtf8(c.text);
}

TEST(GameCommandLine, IsTheGamePathThenEachArgumentAfterTheLaunchersOwnName) {
  const Unit* argv[] = {LT("launcher.exe"), LT("--extract-only"), LT(""), LT("x y")};
  EXPECT_EQ(GameCommandLine(LT("C:\\p\\.lomar-runtime\\LOMARVesperon.exe"), 1, argv),
            LT("\"C:\\p\\.lomar-runtime\\LOMARVesperon.exe\""));
  EXPECT_EQ(GameCommandLine(LT("C:\\g.exe"), 4, argv), LT("\"C:\\g.exe\" \"--extract-only\" \"\" \"x y\""));
  EXPECT_EQ(GameCommandLine(LT("C:\\g.exe"), 0, nullptr), LT("\"C:\\g.exe\""));
}

#ifdef _WIN32
// Whatever the launcher received, the game receives: random arguments made of what quoting must get right,
// split back by the platform.
TEST(GameCommandLine, RoundTripsThroughCommandLineToArgvW) {
  const std::vector<Text> pieces = {L" ", L"\t", L"\"", L"\\", L"\\\\", L"\\\"", L"a", L"Z", L"%x%", L"^", L"&",
                                    L"\u00e9", L"\u65e5", L"\U0001F600", L"--extract-only", L"'"};
  std::mt19937 random(17);
  for (int round = 0; round < 500; ++round) {
    std::vector<Text> args = {L"launcher.exe"};
    const int count = static_cast<int>(random() % 6);
    for (int i = 0; i < count; ++i) {
      Text arg;
      const int length = static_cast<int>(random() % 7);
      for (int k = 0; k < length; ++k) arg += pieces[random() % pieces.size()];
      args.push_back(arg);
    }
    std::vector<const wchar_t*> argv;
    for (const Text& a : args) argv.push_back(a.c_str());
    const Text line = GameCommandLine(L"C:\\games\\x y\\LOMARVesperon.exe", static_cast<int>(argv.size()), argv.data());
    int parsedCount = 0;
    wchar_t** parsed = CommandLineToArgvW(line.c_str(), &parsedCount);
    ASSERT_NE(parsed, nullptr);
    ASSERT_EQ(parsedCount, static_cast<int>(args.size())) << ToUtf8(line);
    EXPECT_EQ(Text(parsed[0]), L"C:\\games\\x y\\LOMARVesperon.exe");
    for (int i = 1; i < parsedCount; ++i) EXPECT_EQ(Text(parsed[i]), args[i]) << ToUtf8(line);
    LocalFree(parsed);
  }
}
#endif

std::vector<Text> Entries(const Text& block) {
  std::vector<Text> entries;
  for (std::size_t at = 0; at < block.size() && block[at] != 0;) {
    const std::size_t end = block.find(Unit{0}, at);
    entries.push_back(block.substr(at, end - at));
    at = end + 1;
  }
  return entries;
}

TEST(ChildEnvironmentBlock, ReplacesThePortableRootAndSortsLikeWindows) {
  struct Case {
    std::vector<Text> parent;
    const Unit* exeDir;
    std::vector<Text> child;
  };
  const Case cases[] = {
      {{}, LT("C:\\"), {LT("LOMAR_PORTABLE_ROOT=C:\\")}},
      {{LT("Path=C:\\w"), LT("lomar_portable_root=old"), LT("LOMAR_PORTABLE_ROOT=older"), LT("LoMaR_PoRtAbLe_RoOt=")},
       LT("D:\\My Games\\LOMAR"),
       {LT("LOMAR_PORTABLE_ROOT=D:\\My Games\\LOMAR"), LT("Path=C:\\w")}},
      {{LT("LOMAR_PORTABLE_ROOTX=1"), LT("LOMAR_PORTABLE_ROO"), LT("xLOMAR_PORTABLE_ROOT=1")},
       LT("E:\\g"),
       {LT("LOMAR_PORTABLE_ROO"), LT("LOMAR_PORTABLE_ROOT=E:\\g"), LT("LOMAR_PORTABLE_ROOTX=1"),
        LT("xLOMAR_PORTABLE_ROOT=1")}},
      {{LT("AB=1"), LT("a_b=1"), LT("A=1"), LT("A-B=2"), LT("=C:=C:\\work"), LT("b=0"), LT("A1=3")},
       LT("F:\\"),
       {LT("=C:=C:\\work"), LT("A-B=2"), LT("A1=3"), LT("A=1"), LT("a_b=1"), LT("AB=1"), LT("b=0"),
        LT("LOMAR_PORTABLE_ROOT=F:\\")}},
  };
  for (const Case& c : cases) {
    const Text block = ChildEnvironmentBlock(c.parent, c.exeDir);
    EXPECT_EQ(Entries(block), c.child) << ToUtf8(c.exeDir);
    ASSERT_GE(block.size(), 2u);
    EXPECT_EQ(block.substr(block.size() - 2), Text(2, Unit{0}));
    EXPECT_EQ(block.find(Text(2, Unit{0})), block.size() - 2) << "no empty entry inside";
  }
}

TEST(SplitEnvironmentBlock, TakesEntriesUpToTheFirstEmptyOne) {
  const Text block(LT("A=1\0=C:=C:\\\0b=\0\0ignored\0\0"), 24);
  EXPECT_EQ(SplitEnvironmentBlock(block.c_str()), (std::vector<Text>{LT("A=1"), LT("=C:=C:\\"), LT("b=")}));
  const Unit empty[] = {0, 0};
  EXPECT_TRUE(SplitEnvironmentBlock(empty).empty());
}

TEST(FolderLockName, IsThePrefixThenTheDigestOfTheLowerCasedFolderInLowerHex) {
  const std::vector<std::uint8_t> input = FolderLockDigestInput(LT("C:\\Games\\LOMAR Vesperon"));
  const Text lower = LT("c:\\games\\lomar vesperon");
  ASSERT_EQ(input.size(), 2 * lower.size());
  for (std::size_t i = 0; i < lower.size(); ++i) {
    EXPECT_EQ(input[2 * i], static_cast<std::uint16_t>(lower[i]) & 0xFF);
    EXPECT_EQ(input[2 * i + 1], static_cast<std::uint16_t>(lower[i]) >> 8);
  }
  // The digest, from Python's hashlib over the same UTF-16LE bytes.
  const Text name = FolderLockName(Sha256Of(input));
  EXPECT_EQ(name, LT("Local\\LOMARPortable-d81094a5a7d6b62ef2b0bf785af75aa5a8139f76d80f537b7a4f4c30ee2e79c2"));
  EXPECT_EQ(name.size(), 84u);
  EXPECT_EQ(FolderLockDigestInput(LT("C:\\GAMES\\lomar vesperon")), input);
  EXPECT_NE(FolderLockDigestInput(LT("C:\\GAMES~1\\lomar vesperon")), input);
}

TEST(ToLowerHex, WritesTheHighHalfFirst) {
  const std::uint8_t bytes[] = {0x00, 0x0F, 0xA0, 0xFF, 0x5c};
  EXPECT_EQ(ToLowerHex(bytes), LT("000fa0ff5c"));
}

}  // namespace
}  // namespace lomar
