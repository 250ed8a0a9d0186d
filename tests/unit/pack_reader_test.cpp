#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pack/pe_error.h"
#include "pack/pe_reader.h"
#include "pack/resource_tree.h"
#include "tests/unit/pack_test_pe.h"

namespace lomar::pe {
namespace {

using namespace test;

TEST(ReadImage, ReadsTheHeadersTheWriterNeeds) {
  Bytes file = Stub().Image();
  const PeImage image = ReadImage(file);
  EXPECT_EQ(image.machine, 0x8664);
  EXPECT_EQ(image.timeDateStamp, 0x5EED5EEDu);
  EXPECT_EQ(image.fileAlignment, 0x200u);
  EXPECT_EQ(image.sizeOfImage, 0x4000u);
  EXPECT_EQ(image.sectionTableOffset, sectionTable);
  EXPECT_EQ(image.CheckSumOffset(), checkSumField);
  ASSERT_EQ(image.sections.size(), 3u);
  EXPECT_EQ(image.sections[1].VirtualExtent(), 0x1A0u);
  EXPECT_EQ(image.rawEnd, 0xA00u);
  EXPECT_FALSE(image.isSigned);
  EXPECT_EQ(image.overlaySize, 0u);

  // Appended bytes are an overlay; a certificate table after the sections is not.
  file.resize(0xA00 + 0x30);
  EXPECT_EQ(ReadImage(file).overlaySize, 0x30u);
  Set(file, directories + 32, 0xA10, 4);
  Set(file, directories + 36, 0x20, 4);
  EXPECT_TRUE(ReadImage(file).isSigned);
  EXPECT_EQ(ReadImage(file).overlaySize, 0x10u);
}

TEST(ReadImage, RefusesMalformedHeaders) {
  struct Case {
    const char* what;
    void (*change)(Bytes&);
    const char* message;
  };
  const Case cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, "too short for an MZ header"},
      {"cut in the DOS header", [](Bytes& b) { b.resize(0x3E); }, "too short for an MZ header"},
      {"ZM", [](Bytes& b) { b[0] = 'Z'; }, "no MZ header"},
      {"e_lfanew past the end", [](Bytes& b) { Set(b, 0x3C, 0xA01, 4); }, "PE header lies past the end"},
      {"e_lfanew at the end", [](Bytes& b) { Set(b, 0x3C, 0xA00, 4); }, "is not a Windows executable"},
      {"e_lfanew huge", [](Bytes& b) { Set(b, 0x3C, 0xFFFFFFFF, 4); }, "PE header lies past the end"},
      {"PE\\0\\1", [](Bytes& b) { b[0x43] = 1; }, "no PE signature"},
      {"cut in the COFF header", [](Bytes& b) { b.resize(0x50); }, "PE header runs past the end"},
      {"cut in the optional header", [](Bytes& b) { b.resize(0x100); }, "optional header runs past the end"},
      {"PE32", [](Bytes& b) { Set(b, optional, 0x10B, 2); }, "is a 32-bit executable"},
      {"PE32 with a small header", [](Bytes& b) {
         Set(b, optional, 0x10B, 2);
         Set(b, coff + 16, 96, 2);
       },
       "is a 32-bit executable"},
      {"ROM image", [](Bytes& b) { Set(b, optional, 0x107, 2); }, "unknown kind (magic 0x107)"},
      {"optional header too small for the directories", [](Bytes& b) { Set(b, coff + 16, 112 + 8 * 15, 2); },
       "too small for its data directories"},
      {"section table cut", [](Bytes& b) { Set(b, coff + 2, 100, 2); }, "section table runs past the end"},
      {"headers past the end", [](Bytes& b) { Set(b, optional + 60, 0xA01, 4); }, "headers run past the end"},
      {"raw data past the end", [](Bytes& b) { Set(b, sectionTable + 40 * 2 + 16, 0x201, 4); },
       "section 3 (.reloc) runs past the end"},
      {"raw offset past the end", [](Bytes& b) { Set(b, sectionTable + 20, 0xFFFFFF00, 4); },
       "section 1 (.text) runs past the end"},
  };
  for (const Case& c : cases) {
    Bytes file = Stub().Image();
    c.change(file);
    EXPECT_EQ(Verdict(file).rfind("refused: ", 0), 0u) << c.what;
    EXPECT_NE(Verdict(file).find(c.message), std::string::npos) << c.what << ": " << Verdict(file);
  }
}

TEST(ReadResources, ReadsEveryKindOfName) {
  EXPECT_EQ(Verdict(Stub().Image()),
            "LOMAR/1/0/1252=named type;3/1/0/0=neutral icon;3/1/1033/0=english icon!;14/MAIN/1033/0=group;");
  Bytes noSlot = Stub().Image();
  Set(noSlot, optional + 108, 2, 4);  // no resource directory slot at all
  EXPECT_EQ(Verdict(noSlot), "");
}

std::uint32_t BadData(Stub& stub, std::uint32_t rva, std::uint32_t size) {
  const std::uint32_t entry = stub.tree.Data("");
  Set(stub.tree.bytes, entry, rva, 4);
  Set(stub.tree.bytes, entry + 4, size, 4);
  return entry;
}

TEST(ReadResources, RefusesMalformedTrees) {
  struct Case {
    const char* what;
    std::function<void(Stub&)> change;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"root entry pointing at the root", [](Stub& s) { s.tree.Entry(s.root, 1, 3, sub); }, "one table twice"},
      {"two types sharing a table",
       [](Stub& s) { s.tree.Entry(s.root, 2, 14, sub | s.iconType); }, "one table twice"},
      {"a language entry pointing at a table",
       [](Stub& s) { s.tree.Entry(s.iconNames, 1, 0x409, sub | s.tree.Table(0, 0)); }, "more than three levels"},
      {"a name entry pointing at data",
       [](Stub& s) { s.tree.Entry(s.iconType, 0, 1, s.tree.Data("x")); }, "fewer than three levels"},
      {"table offset past the directory", [](Stub& s) { s.tree.Entry(s.root, 1, 3, sub | 0x7000); },
       "table lies outside"},
      {"entries past the directory", [](Stub& s) { Set(s.tree.bytes, s.groupNames + 14, 0x100, 2); },
       "table runs past the end"},
      {"name string past the directory", [](Stub& s) { s.tree.Entry(s.root, 0, sub | 0x7FFFFFFF, sub | s.namedType); },
       "name lies outside"},
      {"name string cut",
       [](Stub& s) {
         const std::uint32_t name = s.tree.String(u"X");
         Set(s.tree.bytes, name, 0x4000, 2);
         s.tree.Entry(s.root, 0, sub | name, sub | s.namedType);
       },
       "name runs past the end"},
      {"data entry past the directory", [](Stub& s) { s.tree.Entry(s.groupNames, 0, 0x409, 0x1000); },
       "data entry lies outside"},
      {"data past its section", [](Stub& s) { s.tree.Entry(s.groupNames, 0, 0x409, BadData(s, 0x2010, 0x1F1)); },
       "data of a resource lies outside"},
      {"data before every section", [](Stub& s) { s.tree.Entry(s.groupNames, 0, 0x409, BadData(s, 0x10, 1)); },
       "data of a resource lies outside"},
      {"an ID above 16 bits", [](Stub& s) { s.tree.Entry(s.root, 1, 0x10003, sub | s.iconType); }, "16 bits"},
      {"an ID among the named", [](Stub& s) { s.tree.Entry(s.root, 0, 7, sub | s.namedType); }, "out of place"},
      {"a named language",
       [](Stub& s) {
         const std::uint32_t languages = s.tree.Table(1, 0);
         s.tree.Entry(languages, 0, sub | s.tree.String(u"EN"), s.tree.Data("x"));
         s.tree.Entry(s.iconType, 0, 1, sub | languages);
       },
       "language with a string"},
  };
  for (const Case& c : cases) {
    Stub stub;
    c.change(stub);
    Shape shape = stub.MakeShape();
    shape.resourceSize = static_cast<std::uint32_t>(stub.tree.bytes.size());
    ASSERT_LE(shape.resourceSize, 0x1A0u) << c.what;
    EXPECT_EQ(Verdict(Build(shape)).rfind("refused: ", 0), 0u) << c.what;
    EXPECT_NE(Verdict(Build(shape)).find(c.message), std::string::npos) << c.what << ": " << Verdict(Build(shape));
  }

  Shape outside = Stub().MakeShape();
  outside.resourceRva = 0x5000;
  EXPECT_EQ(Verdict(Build(outside)), "refused: its resource directory lies outside its sections");
  Shape tooLong = Stub().MakeShape();
  tooLong.resourceSize = 0x201;
  EXPECT_EQ(Verdict(Build(tooLong)), "refused: its resource directory runs past the end of its section");
}

TEST(FindResourceData, PrefersTheNeutralLanguageThenTheFirst) {
  const std::uint8_t a[] = {1}, b[] = {2}, c[] = {3};
  const std::vector<Resource> resources = {
      {10, 101, 0x409, 0, a}, {10, 101, 0, 0, b}, {10, ResourceName(LT("101")), 0, 0, c}, {10, 102, 0x407, 0, c},
      {10, 102, 0x409, 0, a}};
  EXPECT_EQ(FindResourceData(resources, 10, 101)->data(), b);
  EXPECT_EQ(FindResourceData(resources, 10, ResourceName(LT("101")))->data(), c);
  EXPECT_EQ(FindResourceData(resources, 10, 102)->data(), c);
  EXPECT_FALSE(FindResourceData(resources, 10, 103));
  EXPECT_FALSE(FindResourceData(resources, 3, 101));
}

}  // namespace
}  // namespace lomar::pe
