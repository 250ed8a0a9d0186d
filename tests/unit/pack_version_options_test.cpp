#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/command_line.h"
#include "pack/tool_error.h"
#include "pack/version_options.h"

namespace lomar::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;

VersionOptions Options(const std::vector<std::string>& args) {
  const CommandLine line = ParseCommandLine(args, "build",
                                            {"--product-name", "--product-version", "--file-version", "--company",
                                             "--description", "--copyright", "--original-filename"},
                                            {});
  return ReadVersionOptions(line);
}

std::string Misuse(const std::vector<std::string>& args) {
  try {
    Options(args);
  } catch (const UsageError& e) {
    return e.message;
  }
  return "accepted";
}

TEST(ReadVersionOptions, EachOptionSetsItsStringAndTheVersionsTheirNumbers) {
  const VersionOptions read = Options({"--copyright", "(c) LOMAR", "--file-version", "1.4.2", "--product-name",
                                       "Vesperon \xce\xa9", "--product-version", "2", "--company", "",
                                       "--description", "d", "--original-filename", "Vesperon.exe"});
  const std::vector<pe::VersionString> strings = {
      {Text(LT("ProductName")), Text(LT("Vesperon \u03a9"))}, {Text(LT("ProductVersion")), Text(LT("2"))},
      {Text(LT("FileVersion")), Text(LT("1.4.2"))},           {Text(LT("CompanyName")), Text()},
      {Text(LT("FileDescription")), Text(LT("d"))},           {Text(LT("LegalCopyright")), Text(LT("(c) LOMAR"))},
      {Text(LT("OriginalFilename")), Text(LT("Vesperon.exe"))},
  };
  EXPECT_EQ(read.strings, strings);
  EXPECT_EQ(read.fileVersion, (pe::VersionNumber{0x00010004, 0x00020000}));
  EXPECT_EQ(read.productVersion, (pe::VersionNumber{0x00020000, 0}));
  EXPECT_FALSE(Options({}).Any());
}

TEST(ReadVersionOptions, RefusesMalformedVersionsAndTextWithAHint) {
  const struct {
    std::vector<std::string> args;
    const char* said;
  } cases[] = {
      {{"--file-version", "1..2"}, "--file-version takes one to four numbers from 0 to 65535"},
      {{"--product-version", "70000"}, "--product-version takes one to four numbers"},
      {{"--product-version", ""}, "not \"\""},
      {{"--file-version", "1.2.3.4.5"}, "not \"1.2.3.4.5\""},
      {{"--company", "bad \xff"}, "--company takes UTF-8 text"},
  };
  for (const auto& c : cases) {
    const std::string said = Misuse(c.args);
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    EXPECT_NE(said.find("(see: lomar-pack build --help)"), std::string::npos) << said;
  }
}

pe::Resource VersionResource(std::span<const std::uint8_t> data, std::uint16_t language = 0x0407) {
  return pe::Resource{pe::rtVersion, pe::ResourceName(Text(LT("GAME"))), language, 1252, data};
}

TEST(MakeGameVersion, KeepsTheStubsResourceNameLanguageAndOtherValues) {
  pe::VersionInfo stubInfo = pe::FreshVersionInfo();
  pe::SetVersionString(stubInfo, LT("CompanyName"), LT("LOMAR"));
  pe::SetVersionString(stubInfo, LT("ProductName"), LT("launcher"));
  stubInfo.fixed->productVersionMS = 0x00070008;
  const Bytes stubBytes = pe::WriteVersionInfo(stubInfo);
  const pe::Resource stub[] = {{pe::rtIcon, 1, 0, 0, {}}, VersionResource(stubBytes)};

  const auto game = MakeGameVersion(stub, Options({"--product-name", "Vesperon", "--file-version", "1.4"}), "stub.exe");
  ASSERT_TRUE(game);
  EXPECT_EQ(game->name, pe::ResourceName(Text(LT("GAME"))));
  EXPECT_EQ(game->language, 0x0407);
  EXPECT_EQ(game->codePage, 1252u);
  pe::VersionInfo expected = stubInfo;
  pe::SetVersionString(expected, LT("ProductName"), LT("Vesperon"));
  pe::SetVersionString(expected, LT("FileVersion"), LT("1.4"));
  expected.fixed->fileVersionMS = 0x00010004;
  EXPECT_EQ(pe::ReadVersionInfo(game->bytes), expected);

  EXPECT_FALSE(MakeGameVersion(stub, Options({}), "stub.exe"));
}

TEST(MakeGameVersion, GivesAStubWithoutOneAFreshResource) {
  const pe::Resource stub[] = {{pe::rtIcon, 1, 0, 0, {}}};
  const auto game = MakeGameVersion(stub, Options({"--company", "LOMAR"}), "stub.exe");
  ASSERT_TRUE(game);
  EXPECT_EQ(game->name, pe::ResourceName(1));
  EXPECT_EQ(game->language, 0x0409);
  pe::VersionInfo expected = pe::FreshVersionInfo();
  pe::SetVersionString(expected, LT("CompanyName"), LT("LOMAR"));
  EXPECT_EQ(pe::ReadVersionInfo(game->bytes), expected);
}

TEST(MakeGameVersion, RefusesAMalformedStubResourceNamingTheStub) {
  const Bytes damaged(10, 0xFF);  // a root block of 65535 bytes in ten
  const pe::Resource stub[] = {VersionResource(damaged)};
  try {
    MakeGameVersion(stub, Options({"--company", "LOMAR"}), "dist/stub.exe");
    FAIL() << "accepted";
  } catch (const ToolError& e) {
    EXPECT_EQ(e.message.rfind("dist/stub.exe: its version resource ", 0), 0u) << e.message;
  }
}

TEST(MakeGameVersion, RefusesTextsTooLongForTheResourceAsMisuse) {
  const pe::Resource stub[] = {{pe::rtIcon, 1, 0, 0, {}}};
  EXPECT_THROW(MakeGameVersion(stub, Options({"--description", std::string(40000, 'x')}), "stub.exe"), UsageError);
}

}  // namespace
}  // namespace lomar::pack
