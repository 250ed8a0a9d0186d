#include <gtest/gtest.h>

#include "core/failure.h"
#include "core/messages.h"
#include "package/entry_path.h"

namespace lomar {
namespace {

constexpr const char* kPasses = "(passes)";

// The message CheckEntryPath throws, or kPasses.
std::string Verdict(TextView name) {
  try {
    CheckEntryPath(name);
  } catch (const Failure& failure) {
    return ToUtf8(failure.message);
  }
  return kPasses;
}

struct Case {
  Text name;
  const Unit* message;  // nullptr: the name passes
};

std::string Expected(const Case& c) { return c.message == nullptr ? kPasses : ToUtf8(c.message); }

void ExpectVerdicts(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(Verdict(c.name), Expected(c)) << "name: \"" << ToUtf8(c.name) << '"';
}

Text WithUnit(const Unit* before, Unit unit, const Unit* after) { return Text(before) + unit + Text(after); }

TEST(CheckEntryPath, AcceptsOrdinaryRelativeNames) {
  ExpectVerdicts({
      {LT("a/b/c.txt"), nullptr},
      {LT("lomarvesperon.exe"), nullptr},
      {LT(".config/x"), nullptr},
      {LT("..a"), nullptr},
      {LT("a..b"), nullptr},
      {LT("a/..a/b"), nullptr},
      {LT(" leading space"), nullptr},
      {LT("dir/ x"), nullptr},
      {WithUnit(LT("del"), 0x7F, LT("x")), nullptr},
      {LT("caf\u00E9/\u65E5\u672C.txt"), nullptr},
      {LT("console"), nullptr},
      {LT("con_x"), nullptr},
      {LT("com10"), nullptr},
      {LT("lpt"), nullptr},
      {LT("com"), nullptr},
      {LT("con .txt"), nullptr},
      {LT("conx.txt"), nullptr},
      {LT("comA"), nullptr},
      {LT("com\u00B4"), nullptr},
      {LT("lpt\u2074"), nullptr},
      {LT("conin"), nullptr},
      {LT("conout"), nullptr},
      {LT("conin$x"), nullptr},
      {LT("x.con"), nullptr},
      {LT("a/b/x.nul"), nullptr},
      {LT(".con"), nullptr},
      {LT("a%b&c'd"), nullptr},
      {Text(3000, LT('n')), nullptr},
  });
}

// Windows 10 and earlier open a device for "con .txt" (they drop the extension, then the trailing spaces),
// but the launcher judges the stem as written, "con ", and accepts the name; only the packer refuses to
// make such a package.
TEST(CheckEntryPath, AcceptsADeviceNameFollowedBySpacesAndAnExtension) {
  ExpectVerdicts({
      {LT("con .txt"), nullptr},
      {LT("nul .log"), nullptr},
      {LT("docs/aux   .md"), nullptr},
      {LT("LPT1 .x"), nullptr},
  });
}

TEST(CheckEntryPath, RefusesEachBrokenRuleWithItsMessage) {
  ExpectVerdicts({
      {LT(""), msg::invalidPath},
      {LT("/"), msg::invalidPath},
      {LT("/a"), msg::invalidPath},
      {LT("a/"), msg::invalidPath},
      {LT("a/b/"), msg::invalidPath},
      {LT("a//b"), msg::unsafePath},
      {LT("./a"), msg::unsafePath},
      {LT("a/./b"), msg::unsafePath},
      {LT("a/../b"), msg::unsafePath},
      {LT(".."), msg::unsafePath},
      {LT("."), msg::unsafePath},
      {LT("a/.."), msg::unsafePath},
      {LT("a./b"), msg::unsafePath},
      {LT("a."), msg::unsafePath},
      {LT("a.txt."), msg::unsafePath},
      {LT("a /b"), msg::unsafePath},
      {LT("a "), msg::unsafePath},
      {LT("a\\b"), msg::unsafePath},
      {LT("D:x"), msg::unsafePath},
      {LT("D:/x"), msg::unsafePath},
      {LT("a.txt:s"), msg::unsafePath},
      {LT("\\\\server\\share\\x"), msg::unsafePath},
      {LT("\\\\?\\C:\\x"), msg::unsafePath},
      {LT("a*"), msg::unsafePath},
      {LT("a?"), msg::unsafePath},
      {LT("a\"b"), msg::unsafePath},
      {LT("a<b"), msg::unsafePath},
      {LT("a>b"), msg::unsafePath},
      {LT("a|b"), msg::unsafePath},
      {LT("a\tb"), msg::unsafePath},
      {WithUnit(LT("a"), 0, LT("b")), msg::unsafePath},
      {WithUnit(LT("a"), 0x1F, LT("b")), msg::unsafePath},
      {WithUnit(LT("dir/a"), 0x01, LT("")), msg::unsafePath},
      {LT("CON"), msg::reservedFilename},
      {LT("con"), msg::reservedFilename},
      {LT("con.txt"), msg::reservedFilename},
      {LT("Nul.tar.gz"), msg::reservedFilename},
      {LT("docs/aux.md"), msg::reservedFilename},
      {LT("aux/readme"), msg::reservedFilename},
      {LT("PRN"), msg::reservedFilename},
      {LT("a/b/cOn..x"), msg::reservedFilename},
      {LT("com0"), msg::reservedFilename},
      {LT("COM1.txt"), msg::reservedFilename},
      {LT("LPT9.log"), msg::reservedFilename},
      {LT("com\u00B9"), msg::reservedFilename},
      {LT("com\u00B2.x"), msg::reservedFilename},
      {LT("lpt\u00B3.txt"), msg::reservedFilename},
      {LT("conin$"), msg::reservedFilename},
      {LT("CONOUT$.log"), msg::reservedFilename},
      {LT("CoNiN$.a.b"), msg::reservedFilename},
  });
}

TEST(CheckEntryPath, TheFirstBrokenRuleDecidesTheMessage) {
  ExpectVerdicts({
      // Whole-name rules come before any component.
      {LT("/con"), msg::invalidPath},
      {LT("con/"), msg::invalidPath},
      {LT("/a//b"), msg::invalidPath},
      {LT("a:b/"), msg::invalidPath},
      // Components are tested first to last, each one completely.
      {LT("con/a:b"), msg::reservedFilename},
      {LT("a:b/con"), msg::unsafePath},
      {LT("con/a//b"), msg::reservedFilename},
      {LT("aux/../x"), msg::reservedFilename},
      // Within a component, trailing dot, space and characters precede the device test.
      {LT("con."), msg::unsafePath},
      {LT("con "), msg::unsafePath},
      {LT("con:x"), msg::unsafePath},
      {LT("nul.txt\\x"), msg::unsafePath},
      {LT("x//con"), msg::unsafePath},
  });
}

}  // namespace
}  // namespace lomar
