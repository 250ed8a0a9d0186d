#include <gtest/gtest.h>

#include <functional>

#include "pack/icon_file.h"
#include "pack/pe_error.h"
#include "tests/unit/pack_test_pe.h"

namespace lomar::pe {
namespace {

using namespace test;

const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};

Bytes Bitmap() {
  Bytes b(44, 0xB0);
  Set(b, 0, 40, 4);
  return b;
}

// Two images, a PNG at 0x26 and a bitmap after it.
Bytes Ico() {
  Bytes ico = {0, 0, 1, 0, 2, 0};
  const Bytes entries = {0,  0, 0, 0, 1, 0, 32, 0, 12, 0, 0, 0, 0x26, 0, 0, 0,
                         16, 16, 4, 0, 1, 0, 4, 0, 44, 0, 0, 0, 0x32, 0, 0, 0};
  ico.insert(ico.end(), entries.begin(), entries.end());
  ico.insert(ico.end(), png.begin(), png.end());
  const Bytes bitmap = Bitmap();
  ico.insert(ico.end(), bitmap.begin(), bitmap.end());
  return ico;
}

TEST(ReadIconFile, ListsTheImagesInAGroupDirectory) {
  const Bytes ico = Ico();
  const IconSet icon = ReadIconFile(ico);
  ASSERT_EQ(icon.images.size(), 2u);
  EXPECT_EQ(Bytes(icon.images[0].begin(), icon.images[0].end()), png);
  EXPECT_EQ(Bytes(icon.images[1].begin(), icon.images[1].end()), Bitmap());
  const Bytes group = {0, 0, 1, 0, 2, 0,                                // reserved, type, count
                       0, 0, 0, 0, 1, 0, 32, 0, 12, 0, 0, 0, 1, 0,      // 256x256, 32 bits, 12 bytes, RT_ICON 1
                       16, 16, 4, 0, 1, 0, 4, 0, 44, 0, 0, 0, 2, 0};   // 16x16, 16 colours, 44 bytes, RT_ICON 2
  EXPECT_EQ(icon.groupDirectory, group);
}

TEST(ReadIconFile, RefusesMalformedFiles) {
  const std::vector<std::pair<std::function<void(Bytes&)>, const char*>> cases = {
      {[](Bytes& b) { b.resize(5); }, "too short for an icon directory"},
      {[](Bytes& b) { b[0] = 1; }, "no icon directory"},
      {[](Bytes& b) { b[2] = 2; }, "no icon directory"},  // a cursor file
      {[](Bytes& b) { b[4] = 0; }, "holds no images"},
      {[](Bytes& b) { b[5] = 1; }, "cut short within its icon directory"},
      {[](Bytes& b) { b.resize(0x26 + 12 + 43); }, "image 2 lies past the end"},
      {[](Bytes& b) { Set(b, 6 + 16 + 12, 0xFFFFFFF0, 4); }, "image 2 lies past the end"},
      {[](Bytes& b) { Set(b, 6 + 8, 0, 4); }, "image 1 is empty"},
      {[](Bytes& b) { Set(b, 6 + 12, 0x25, 4); }, "image 1 overlaps the icon directory"},
      {[](Bytes& b) { b[0x26 + 3] = 'J'; }, "image 1 is neither a PNG image nor a bitmap"},
      {[](Bytes& b) { b[0x32] = 12; }, "image 2 is neither"},  // BITMAPCOREHEADER: not in icons
      {[](Bytes& b) { Set(b, 6 + 16 + 8, 39, 4); }, "image 2 is neither"},  // too short for its header
  };
  for (const auto& [change, message] : cases) {
    Bytes ico = Ico();
    change(ico);
    try {
      ReadIconFile(ico);
      ADD_FAILURE() << message << ": read";
    } catch (const IconError& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << message << ": " << error.what();
    }
  }
}

TEST(ReplaceIcon, TakesTheFirstGroupsNameAndLanguage) {
  const Bytes ico = Ico();
  const IconSet icon = ReadIconFile(ico);
  const ResourceName main(LT("MAIN"));
  std::vector<ResourceInput> resources = {
      {3, 1, 0x409, 0, {}}, {3, 9, 0x409, 0, {}}, {14, main, 0x409, 0, {}}, {14, 2, 0, 0, {}}, {24, 1, 0x409, 0, {}}};
  ReplaceIcon(resources, icon);
  ASSERT_EQ(resources.size(), 4u);
  EXPECT_EQ(resources[0].type, ResourceName(24));
  const auto expect = [&](const ResourceInput& r, std::uint16_t type, const ResourceName& name, std::uint16_t language,
                          std::span<const std::uint8_t> data) {
    EXPECT_EQ(r.type, ResourceName(type));
    EXPECT_EQ(r.name, name);
    EXPECT_EQ(r.language, language);
    ASSERT_EQ(r.pieces.size(), 1u);
    EXPECT_EQ(r.pieces[0].data(), data.data());
  };
  expect(resources[1], 3, 1, 0x409, icon.images[0]);
  expect(resources[2], 3, 2, 0x409, icon.images[1]);
  expect(resources[3], 14, main, 0x409, icon.groupDirectory);

  std::vector<ResourceInput> none = {{24, 1, 0x409, 0, {}}};
  ReplaceIcon(none, icon);
  ASSERT_EQ(none.size(), 4u);
  expect(none[3], 14, 1, 0, icon.groupDirectory);
}

}  // namespace
}  // namespace lomar::pe
