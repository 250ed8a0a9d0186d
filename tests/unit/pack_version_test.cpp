#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "lomar/version.h"
#include "pack/version_resource.h"
#include "tests/unit/pack_test_pe.h"

namespace lomar::pe {
namespace {

using test::Bytes;
using test::Get;
using test::Set;

// ---- dotted versions ----

TEST(ParseDottedVersion, TakesOneToFourDecimalPartsUpTo65535) {
  const struct {
    const char* text;
    std::uint32_t ms, ls;
  } valid[] = {
      {"1", 0x00010000, 0},
      {"1.4.2", 0x00010004, 0x00020000},
      {"2.0.0.4", 0x00020000, 0x00000004},
      {"0", 0, 0},
      {"0.0.0.1", 0, 1},
      {"007.010", 0x0007000A, 0},
      {"65535.65535.65535.65535", 0xFFFFFFFF, 0xFFFFFFFF},
      {"3.65535", 0x0003FFFF, 0},
  };
  for (const auto& c : valid) {
    EXPECT_EQ(ParseDottedVersion(c.text), (VersionNumber{c.ms, c.ls})) << c.text;
  }
}

TEST(ParseDottedVersion, RefusesAnythingElse) {
  for (const char* text : {"", ".", "1..2", "1.4.x", "70000", "65536", "1.65536", "1.2.3.4.5", "1.2.3.4.",
                           ".1", "1.", "-1", "+1", " 1", "1 ", "1,2", "1.2-beta", "0x10", "1e3",
                           "99999999999999999999", "4294967297", "\xd9\xa3" /* Arabic-Indic three */}) {
    EXPECT_EQ(ParseDottedVersion(text), std::nullopt) << text;
  }
}

// ---- the tree's layout ----

// One string table with one string, the Translation, and a fixed part: laid out by hand here, offsets
// counted from the Windows documentation's structures, not taken from the writer.
VersionInfo Small() {
  VersionInfo info;
  info.fixed = FixedFileInfo{};
  info.fixed->fileVersionMS = 0x00010004;
  info.fixed->fileVersionLS = 0x00020003;
  info.fixed->productVersionMS = 0x00050006;
  info.stringTables.push_back({Text(LT("040904B0")), {{Text(LT("A")), Text(LT("xy"))}}});
  info.vars.push_back({Text(LT("Translation")), {0x09, 0x04, 0xB0, 0x04}});
  return info;
}

void Key(Bytes& b, std::size_t at, std::u16string_view key) {
  for (std::size_t i = 0; i < key.size(); ++i) Set(b, at + 2 * i, key[i], 2);
  Set(b, at + 2 * key.size(), 0, 2);
}

Bytes SmallByHand() {
  Bytes b(240, 0);
  // VS_VERSIONINFO: 6 header bytes and its 16-unit key reach 38, padded to 40; VS_FIXEDFILEINFO to 92.
  Set(b, 0, 240, 2), Set(b, 2, 52, 2), Set(b, 4, 0, 2), Key(b, 6, u"VS_VERSION_INFO");
  Set(b, 40, 0xFEEF04BD, 4), Set(b, 44, 0x00010000, 4), Set(b, 48, 0x00010004, 4), Set(b, 52, 0x00020003, 4);
  Set(b, 56, 0x00050006, 4), Set(b, 64, 0x3F, 4), Set(b, 72, 0x00040004, 4), Set(b, 76, 1, 4);
  // StringFileInfo at 92 (to 170), its table at 128 (to 170), the string at 152: key to 162, padded to
  // 164, "xy" and its terminator to 170; the value's length is 3 UTF-16 units.
  Set(b, 92, 78, 2), Set(b, 96, 1, 2), Key(b, 98, u"StringFileInfo");
  Set(b, 128, 42, 2), Set(b, 132, 1, 2), Key(b, 134, u"040904B0");
  Set(b, 152, 18, 2), Set(b, 154, 3, 2), Set(b, 156, 1, 2), Key(b, 158, u"A"), Key(b, 164, u"xy");
  // VarFileInfo at 172 (170 padded), its Var at 204 with a 4-byte binary value at 236.
  Set(b, 172, 68, 2), Set(b, 176, 1, 2), Key(b, 178, u"VarFileInfo");
  Set(b, 204, 36, 2), Set(b, 206, 4, 2), Set(b, 208, 0, 2), Key(b, 210, u"Translation");
  Set(b, 236, 0x04B00409, 4);
  return b;
}

TEST(WriteVersionInfo, LaysOutTheTreeAsWindowsDocumentsIt) {
  EXPECT_EQ(WriteVersionInfo(Small()), SmallByHand());
  EXPECT_EQ(ReadVersionInfo(SmallByHand()), Small());
}

TEST(WriteVersionInfo, WhatItWritesReadsBackTheSame) {
  VersionInfo fresh = FreshVersionInfo();
  VersionInfo noFixed;
  noFixed.stringTables.push_back({Text(LT("000004E4")), {{Text(LT("Comments")), Text()}}});
  VersionInfo wide = Small();
  wide.stringTables.push_back({Text(LT("041104B0")),
                               {{Text(LT("ProductName")), Text(LT("\u03a9\u03bc\u03ad\u03b3\u03b1 \u65e5\u672c"))},
                                {Text(LT("Odd")), Text(LT("abc"))},
                                {Text(LT("Even1")), Text(LT("ab"))}}});
  wide.vars.push_back({Text(LT("Extra")), {1, 2, 3}});
  VersionInfo varsOnly;
  varsOnly.vars.push_back({Text(LT("Translation")), {0x07, 0x04, 0xE4, 0x04, 0x09, 0x04, 0xB0, 0x04}});
  VersionInfo largest;
  largest.stringTables.push_back({Text(LT("040904B0")), {{Text(LT("Big")), Text(32000, Unit('x'))}}});

  const std::pair<const char*, VersionInfo> cases[] = {{"fresh", fresh},     {"no fixed part", noFixed},
                                                       {"two tables", wide}, {"vars only", varsOnly},
                                                       {"root only", {}},    {"near 64 KiB", largest}};
  for (const auto& [name, info] : cases) {
    const Bytes written = WriteVersionInfo(info);
    EXPECT_EQ(Get(written, 0, 2), written.size()) << name;  // the root's length covers it all
    EXPECT_EQ(ReadVersionInfo(written), info) << name;
  }
}

TEST(WriteVersionInfo, RefusesWhatItsLengthsCannotSay) {
  VersionInfo info;
  info.stringTables.push_back({Text(LT("040904B0")), {{Text(LT("Big")), Text(33000, Unit('x'))}}});
  EXPECT_THROW(WriteVersionInfo(info), VersionError);
  info.stringTables[0].strings[0].value.resize(20000);
  info.stringTables[0].strings.push_back({Text(LT("Big2")), Text(20000, Unit('y'))});
  EXPECT_THROW(WriteVersionInfo(info), VersionError);  // each string fits, their table does not
}

// ---- the launcher stub's own, as windres compiles launcher.rc ----

// The data of resource type 16 in a .res file: entries of DataSize, HeaderSize, type, name (0xFFFF and an
// ID, or a string), padding, five more fields, then the data, each entry on a 32-bit boundary.
Bytes VersionFromRes(const Bytes& res) {
  for (std::size_t at = 0; at + 12 <= res.size();) {
    const std::size_t dataSize = Get(res, at, 4), headerSize = Get(res, at + 4, 4);
    const bool isVersion = Get(res, at + 8, 2) == 0xFFFF && Get(res, at + 10, 2) == rtVersion;
    if (isVersion) return Bytes(res.begin() + at + headerSize, res.begin() + at + headerSize + dataSize);
    at = (at + headerSize + dataSize + 3) & ~std::size_t{3};
  }
  return {};
}

TEST(ReadVersionInfo, ReadsTheLauncherStubsResourceAsWindresWritesIt) {
#ifndef LOMAR_LAUNCHER_RES
  GTEST_SKIP() << "no windres to compile launcher.rc with";
#else
  std::ifstream in(LOMAR_LAUNCHER_RES, std::ios::binary);
  ASSERT_TRUE(in) << LOMAR_LAUNCHER_RES;
  const Bytes stub = VersionFromRes(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  ASSERT_FALSE(stub.empty());
  const VersionInfo info = ReadVersionInfo(stub);

  // The project's version, from CMake, in the numbers and in the strings.
  ASSERT_TRUE(info.fixed);
  EXPECT_EQ(info.fixed->fileVersionMS, std::uint32_t{LOMAR_VERSION_MAJOR} << 16 | LOMAR_VERSION_MINOR);
  EXPECT_EQ(info.fixed->fileVersionLS, std::uint32_t{LOMAR_VERSION_PATCH} << 16 | LOMAR_VERSION_TWEAK);
  EXPECT_EQ(info.fixed->productVersionMS, info.fixed->fileVersionMS);
  EXPECT_EQ(info.fixed->productVersionLS, info.fixed->fileVersionLS);
  EXPECT_EQ(info.fixed->fileOS, 0x00040004u);
  EXPECT_EQ(info.fixed->fileType, 1u);
  ASSERT_EQ(info.stringTables.size(), 1u);
  EXPECT_EQ(info.stringTables[0].key, LT("040904B0"));
  const Text version = WidenAscii(LOMAR_VERSION);
  const std::vector<VersionString> strings = {
      {Text(LT("CompanyName")), Text(LT("LOMAR"))},
      {Text(LT("FileDescription")), Text(LT("LOMAR Vesperon"))},
      {Text(LT("FileVersion")), version},
      {Text(LT("InternalName")), Text(LT("lomar-launcher"))},
      {Text(LT("OriginalFilename")), Text(LT("lomar-launcher.exe"))},
      {Text(LT("ProductName")), Text(LT("LOMAR Vesperon portable launcher"))},
      {Text(LT("ProductVersion")), version},
  };
  EXPECT_EQ(info.stringTables[0].strings, strings);
  EXPECT_EQ(info.vars, (std::vector<VersionVar>{{Text(LT("Translation")), {0x09, 0x04, 0xB0, 0x04}}}));
  // The writer lays the tree out exactly as the resource compiler does.
  EXPECT_EQ(WriteVersionInfo(info), stub);
#endif
}

// ---- what is refused ----

// Where a block whose key is `key` starts in `b` (its key follows its 6 header bytes).
std::size_t BlockOf(const Bytes& b, std::u16string_view key) {
  Bytes pattern;
  Key(pattern, 0, key);
  const auto found = std::search(b.begin(), b.end(), pattern.begin(), pattern.end());
  EXPECT_NE(found, b.end());
  return static_cast<std::size_t>(found - b.begin()) - 6;
}

std::string Refusal(const Bytes& resource) {
  try {
    ReadVersionInfo(resource);
  } catch (const VersionError& error) {
    return error.what();
  }
  return "read";
}

TEST(ReadVersionInfo, RefusesEveryResourceCutShort) {
  const Bytes whole = SmallByHand();
  for (std::size_t size = 0; size < whole.size(); ++size) {
    EXPECT_NE(Refusal(Bytes(whole.begin(), whole.begin() + size)), "read") << size;
  }
}

TEST(ReadVersionInfo, RefusesMalformedTrees) {
  const struct {
    const char* name;
    std::function<void(Bytes&)> damage;
    const char* said;
  } cases[] = {
      {"root longer than the resource", [](Bytes& b) { Set(b, 0, b.size() + 2, 2); }, "longer than the block"},
      {"child past its parent",
       [](Bytes& b) { Set(b, BlockOf(b, u"StringFileInfo"), 160, 2); }, "longer than the block"},
      {"string value past its block", [](Bytes& b) { Set(b, BlockOf(b, u"A") + 2, 8, 2); }, "value longer"},
      {"var value past its block",
       [](Bytes& b) { Set(b, BlockOf(b, u"Translation") + 2, 6, 2); }, "value longer"},
      {"block of length 0", [](Bytes& b) { Set(b, BlockOf(b, u"Translation"), 0, 2); }, "cut short"},
      {"key without its end", [](Bytes& b) { Set(b, BlockOf(b, u"A"), 8, 2); }, "cut short"},
      {"another root key", [](Bytes& b) { Set(b, 6 + 28, 'X', 2); }, "\"VS_VERSION_INFX\", not \"VS_VERSION_INFO\""},
      {"an unknown block below the root", [](Bytes& b) { Set(b, BlockOf(b, u"VarFileInfo") + 6, 'W', 2); },
       "\"WarFileInfo\" where only"},
      {"fixed part of another size", [](Bytes& b) { Set(b, 2, 48, 2); }, "48 bytes, not the 52"},
      {"fixed part without its signature", [](Bytes& b) { Set(b, 40, 0xFEEF04BE, 4); }, "signature"},
      {"StringFileInfo with a value", [](Bytes& b) { Set(b, BlockOf(b, u"StringFileInfo") + 2, 2, 2); },
       "\"StringFileInfo\" a value"},
      {"string table with a value", [](Bytes& b) { Set(b, BlockOf(b, u"040904B0") + 2, 4, 2); },
       "\"040904B0\" a value"},
  };
  for (const auto& c : cases) {
    Bytes b = SmallByHand();
    c.damage(b);
    EXPECT_NE(Refusal(b).find(c.said), std::string::npos) << c.name << ": " << Refusal(b);
  }
}

TEST(ReadVersionInfo, TakesWhatResourceCompilersVary) {
  // Data padded past the root's length, and a last string without its terminator counted.
  Bytes b = SmallByHand();
  b.resize(b.size() + 4, 0);
  EXPECT_EQ(ReadVersionInfo(b), Small());
  b = SmallByHand();
  Set(b, BlockOf(b, u"A") + 2, 2, 2);
  EXPECT_EQ(ReadVersionInfo(b), Small());
}

// ---- setting strings ----

TEST(SetVersionString, SetsTheValueInEveryTableOrAddsATableForTheTranslation) {
  VersionInfo two = Small();
  two.stringTables.push_back({Text(LT("040704B0")), {{Text(LT("B")), Text(LT("b"))}}});
  SetVersionString(two, LT("A"), LT("new"));
  EXPECT_EQ(two.stringTables[0].strings, (std::vector<VersionString>{{Text(LT("A")), Text(LT("new"))}}));
  EXPECT_EQ(two.stringTables[1].strings,
            (std::vector<VersionString>{{Text(LT("B")), Text(LT("b"))}, {Text(LT("A")), Text(LT("new"))}}));

  const struct {
    const char* name;
    std::vector<VersionVar> vars;
    const Unit* table;
  } none[] = {
      {"German, Windows-1252", {{Text(LT("Translation")), {0x07, 0x04, 0xE4, 0x04}}}, LT("040704E4")},
      {"neutral, Unicode", {{Text(LT("Other")), {1, 2, 3, 4}}, {Text(LT("Translation")), {0, 0, 0xB0, 0x04}}},
       LT("000004B0")},
      {"no translation", {}, LT("040904B0")},
      {"translation cut short", {{Text(LT("Translation")), {0x07, 0x04}}}, LT("040904B0")},
  };
  for (const auto& c : none) {
    VersionInfo info;
    info.vars = c.vars;
    SetVersionString(info, LT("ProductName"), LT("Vesperon"));
    ASSERT_EQ(info.stringTables.size(), 1u) << c.name;
    EXPECT_EQ(info.stringTables[0].key, c.table) << c.name;
    EXPECT_EQ(info.stringTables[0].strings,
              (std::vector<VersionString>{{Text(LT("ProductName")), Text(LT("Vesperon"))}}))
        << c.name;
  }
}

}  // namespace
}  // namespace lomar::pe
