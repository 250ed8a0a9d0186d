#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/messages.h"
#include "package/package_loader.h"

namespace lomar {
namespace {

// Builds images byte by byte, independently of the writer and of the format
// constants, so a fault shared by those cannot hide here.
class Image {
 public:
  Image& Raw(const std::string& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  Image& U32(std::uint32_t v) { return LittleEndian(v, 4); }
  Image& U64(std::uint64_t v) { return LittleEndian(v, 8); }
  Image& Header(std::uint32_t count) { return Raw("LOMPKG01").U32(count); }
  Image& Digest(std::uint8_t seed) {
    for (int i = 0; i < 32; ++i) bytes_.push_back(static_cast<std::uint8_t>(seed + i));
    return *this;
  }
  // One complete entry whose length fields match its name and stored bytes.
  Image& Entry(const std::string& name, const std::string& stored = "xyz", std::uint64_t unpacked = 7,
               std::uint8_t digestSeed = 0x40) {
    return U32(static_cast<std::uint32_t>(name.size())).U64(unpacked).U64(stored.size()).Digest(digestSeed)
        .Raw(name).Raw(stored);
  }
  Image& Cut(std::size_t size) {
    bytes_.resize(size);
    return *this;
  }
  std::size_t Size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  Image& LittleEndian(std::uint64_t v, int count) {
    for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<std::uint8_t> bytes_;
};

constexpr const char* kLoaded = "(loaded)";

std::string Verdict(const std::uint8_t* data, std::uint64_t size) {
  try {
    LoadPackage(data, size);
  } catch (const Failure& failure) {
    return ToUtf8(failure.message);
  }
  return kLoaded;
}

std::string Verdict(const Image& image) { return Verdict(image.Bytes().data(), image.Size()); }

std::string Says(const Unit* message) { return ToUtf8(message); }

struct Case {
  const char* what;
  Image image;
  const Unit* message;  // nullptr: loads
};

void ExpectVerdicts(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(Verdict(c.image), c.message ? Says(c.message) : kLoaded) << c.what;
}

Image Valid() { return Image().Header(1).Entry("lomarvesperon.exe"); }

TEST(LoadPackage, TestsTheImageSizeFirst) {
  const std::vector<std::uint8_t> header = Image().Header(1).Bytes();
  EXPECT_EQ(Verdict(header.data(), 11), Says(msg::invalidPackageSize));
  EXPECT_EQ(Verdict(header.data(), 0), Says(msg::invalidPackageSize));
  EXPECT_EQ(Verdict(nullptr, 0), Says(msg::invalidPackageSize));
  // Above the bound nothing is read, so a small buffer is enough to claim it.
  EXPECT_EQ(Verdict(header.data(), 0x20000001), Says(msg::invalidPackageSize));
  EXPECT_EQ(Verdict(header.data(), UINT64_MAX), Says(msg::invalidPackageSize));
  EXPECT_NO_THROW(CheckImageSize(12));
  EXPECT_NO_THROW(CheckImageSize(0x20000000));
  EXPECT_THROW(CheckImageSize(0x20000001), Failure);
  EXPECT_THROW(CheckImageSize(11), Failure);
}

TEST(LoadPackage, RefusesAMissingImageOfAValidSize) {
  EXPECT_EQ(Verdict(nullptr, 12), Says(msg::cannotReadPackage));
  EXPECT_EQ(Verdict(nullptr, 11), Says(msg::invalidPackageSize));
}

TEST(LoadPackage, TestsTheHeader) {
  ExpectVerdicts({
      {"12 bytes, count 0", Image().Header(0), msg::invalidFileCount},
      {"12 bytes, count 1", Image().Header(1), msg::truncatedPackage},
      {"lower-case magic", Image().Raw("lompkg01").U32(1).Entry("lomarvesperon.exe"), msg::unsupportedFormat},
      {"other version", Image().Raw("LOMPKG02").U32(1).Entry("lomarvesperon.exe"), msg::unsupportedFormat},
      {"magic last byte", Image().Raw(std::string("LOMPKG0\0", 8)).U32(1).Entry("lomarvesperon.exe"),
       msg::unsupportedFormat},
      {"bad magic wins over count 0", Image().Raw("XOMPKG01").U32(0), msg::unsupportedFormat},
      {"count 4097", Image().Header(4097).Entry("lomarvesperon.exe"), msg::invalidFileCount},
      {"count 0xFFFFFFFF", Image().Header(0xFFFFFFFF).Entry("lomarvesperon.exe"), msg::invalidFileCount},
      {"count 0x80000000", Image().Header(0x80000000).Entry("lomarvesperon.exe"), msg::invalidFileCount},
      {"count 1", Valid(), nullptr},
  });
}

TEST(LoadPackage, AcceptsTheLargestEntryCount) {
  Image image;
  image.Header(4096);
  for (int i = 0; i < 4095; ++i) image.Entry(std::string(1, 'f').append(std::to_string(i)), "");
  image.Entry("lomarvesperon.exe", "");
  const std::vector<std::uint8_t>& bytes = image.Bytes();
  const PackageView view = LoadPackage(bytes.data(), bytes.size());
  ASSERT_EQ(view.size(), 4096u);
  EXPECT_EQ(ToUtf8(view[4094].name), "f4094");
  EXPECT_EQ(ToUtf8(view[4095].name), "lomarvesperon.exe");
}

TEST(LoadPackage, BoundsEachEntrySizeField) {
  const std::string name2048 = std::string(2044, 'n') + ".exe";
  ExpectVerdicts({
      {"name length 0", Image().Header(1).U32(0).U64(1).U64(1).Digest(0), msg::invalidEntrySize},
      {"name length 2049", Image().Header(1).Entry(std::string(2049, 'n')), msg::invalidEntrySize},
      {"name length 0xFFFFFFFF", Image().Header(1).U32(0xFFFFFFFF).U64(0).U64(0), msg::invalidEntrySize},
      {"name length 2048", Image().Header(2).Entry(name2048).Entry("lomarvesperon.exe"), nullptr},
      {"name length 1", Image().Header(2).Entry("x").Entry("lomarvesperon.exe"), nullptr},
      {"unpacked 0x20000000", Image().Header(1).Entry("lomarvesperon.exe", "s", 0x20000000), nullptr},
      {"unpacked 0x20000001", Image().Header(1).Entry("lomarvesperon.exe", "s", 0x20000001), msg::invalidEntrySize},
      {"unpacked 2^64-1", Image().Header(1).Entry("lomarvesperon.exe", "s", UINT64_MAX), msg::invalidEntrySize},
      {"stored 0x20000001", Image().Header(1).U32(17).U64(1).U64(0x20000001).Digest(0).Raw("lomarvesperon.exe"),
       msg::invalidEntrySize},
      {"stored 2^64-1", Image().Header(1).U32(17).U64(1).U64(UINT64_MAX).Digest(0).Raw("lomarvesperon.exe"),
       msg::invalidEntrySize},
      // Within its bound, a stored size larger than the image is a truncation.
      {"stored 0x20000000", Image().Header(1).U32(17).U64(1).U64(0x20000000).Digest(0).Raw("lomarvesperon.exe"),
       msg::truncatedPackage},
      {"unpacked 0 with stored bytes", Image().Header(1).Entry("lomarvesperon.exe", "abc", 0), nullptr},
  });
}

TEST(LoadPackage, BoundsTheRunningTotalOfUnpackedSizes) {
  const auto total = [](std::uint64_t third) {
    Image image;
    image.Header(third == 0 ? 2 : 3).Entry("a", "", 0x10000000).Entry("lomarvesperon.exe", "", 0x10000000);
    if (third != 0) image.Entry("c", "", third);
    return image;
  };
  ExpectVerdicts({
      {"exactly 0x20000000", total(0), nullptr},
      {"one more byte", total(1), msg::invalidEntrySize},
      {"a wrapping size", total(UINT64_MAX - 0x1FFFFFFF), msg::invalidEntrySize},
      {"the bound minus the total plus one",
       Image().Header(2).Entry("a", "", 0x1FFFFFFF).Entry("lomarvesperon.exe", "", 2), msg::invalidEntrySize},
  });
}

TEST(LoadPackage, RefusesAnImageCutAtEveryByte) {
  const Image whole = Image().Header(2).Entry("lomarvesperon.exe", "stored", 6).Entry("b.txt", "zz", 2);
  ASSERT_EQ(Verdict(whole), kLoaded);
  for (std::size_t size = 12; size < whole.Size(); ++size) {
    Image cut = whole;
    EXPECT_EQ(Verdict(cut.Cut(size)), Says(msg::truncatedPackage)) << "cut at " << size;
  }
}

TEST(LoadPackage, TestsBoundsBeforeTheDigestAndNameArePresent) {
  ExpectVerdicts({
      {"fixed part cut", Image().Header(1).U32(0).U64(0).Raw("1234567"), msg::truncatedPackage},
      {"name length 0, nothing after", Image().Header(1).U32(0).U64(0).U64(0), msg::invalidEntrySize},
      {"bounds fine, no digest", Image().Header(1).U32(17).U64(0).U64(0), msg::truncatedPackage},
      {"bounds fine, digest cut", Image().Header(1).U32(17).U64(0).U64(0).Raw("0123456789"), msg::truncatedPackage},
      {"bounds fine, name cut", Image().Header(1).U32(17).U64(0).U64(0).Digest(0).Raw("lomar"), msg::truncatedPackage},
      {"count 2, one entry", Image().Header(2).Entry("lomarvesperon.exe"), msg::truncatedPackage},
      {"count 1, two entries", Image().Header(1).Entry("lomarvesperon.exe").Entry("b"), msg::incompletePackage},
      {"a byte after the last entry", Valid().Raw("\x01"), msg::incompletePackage},
      {"a zero byte after the last entry", Valid().Raw(std::string(1, '\0')), msg::incompletePackage},
  });
}

TEST(LoadPackage, TestsTheNameBeforeThePresenceOfStoredBytes) {
  const auto cutStored = [](const std::string& name) {
    return Image().Header(2).Entry("lomarvesperon.exe").U32(static_cast<std::uint32_t>(name.size())).U64(3).U64(3)
        .Digest(0).Raw(name).Raw("x");
  };
  ExpectVerdicts({
      {"valid name", cutStored("a.txt"), msg::truncatedPackage},
      {"byte FF", cutStored("a\xFF"), msg::invalidFilename},
      {"path rule", cutStored("a/../b"), msg::unsafePath},
      {"device name", cutStored("lpt1"), msg::reservedFilename},
      {"duplicate", cutStored("LomarVesperon.EXE"), msg::duplicateFilename},
  });
}

TEST(LoadPackage, DecodesNamesStrictly) {
  const auto named = [](const std::string& name) { return Image().Header(2).Entry("lomarvesperon.exe").Entry(name); };
  ExpectVerdicts({
      {"byte FF", named("a\xFF"), msg::invalidFilename},
      {"cut two-byte sequence", named("a\xC3"), msg::invalidFilename},
      {"cut three-byte sequence", named("\xE6\x97"), msg::invalidFilename},
      {"overlong slash", named("a\xC0\xAF" "b"), msg::invalidFilename},
      {"encoded surrogate", named("\xED\xA0\x80"), msg::invalidFilename},
      {"above U+10FFFF", named("\xF4\x90\x80\x80"), msg::invalidFilename},
      {"zero byte", named(std::string("a\0b", 3)), msg::unsafePath},
      {"two-byte letter", named("caf\xC3\xA9"), nullptr},
      {"four-byte letter", named("\xF0\x9F\x8E\xAE.png"), nullptr},
  });
}

TEST(LoadPackage, RefusesDuplicateNamesWhateverTheirCase) {
  ExpectVerdicts({
      {"A.dll and a.DLL", Image().Header(3).Entry("A.dll").Entry("lomarvesperon.exe").Entry("a.DLL"),
       msg::duplicateFilename},
      {"Data/a.txt and data/A.TXT",
       Image().Header(3).Entry("Data/a.txt").Entry("data/A.TXT").Entry("lomarvesperon.exe"), msg::duplicateFilename},
      {"exact repeat", Image().Header(2).Entry("lomarvesperon.exe").Entry("lomarvesperon.exe"),
       msg::duplicateFilename},
      {"a and a.b are different names", Image().Header(3).Entry("a").Entry("a.b").Entry("lomarvesperon.exe"),
       nullptr},
      {"same content, two names",
       Image().Header(3).Entry("x", "same", 4, 1).Entry("y", "same", 4, 1).Entry("lomarvesperon.exe"), nullptr},
  });
}

TEST(LoadPackage, RequiresTheGameExecutableAtTheTopLevel) {
  ExpectVerdicts({
      {"upper case", Image().Header(1).Entry("LOMARVESPERON.EXE"), nullptr},
      {"mixed case", Image().Header(1).Entry("LOMARVesperon.exe"), nullptr},
      {"only in a subfolder", Image().Header(1).Entry("bin/lomarvesperon.exe"), msg::incompletePackage},
      {"missing", Image().Header(1).Entry("readme.txt"), msg::incompletePackage},
      {"similar name", Image().Header(1).Entry("lomarvesperon.exe2"), msg::incompletePackage},
      // All entries are read and tested before the game executable is looked for.
      {"missing, and a later entry is bad", Image().Header(2).Entry("a").Entry("b\\c"), msg::unsafePath},
      {"missing, and bytes left over", Image().Header(1).Entry("a").Raw("tail"), msg::incompletePackage},
  });
}

TEST(LoadPackage, ReadsFieldsAtOddOffsetsAndKeepsStoredOrderAndCase) {
  Image image;
  image.Header(3)
      .Entry("Zeta.TXT", "abc", 0x01020304, 0x10)  // three stored bytes put the next entry at an odd offset
      .Entry("alpha/B.dat", "", 0x0E2E3D4C, 0x20)
      .Entry("LOMARVesperon.exe", std::string("\x00\xFF\x7F", 3), 0x10000000, 0x30);
  const std::vector<std::uint8_t>& bytes = image.Bytes();
  const PackageView view = LoadPackage(bytes.data(), bytes.size());
  ASSERT_EQ(view.size(), 3u);

  struct Expected {
    const char* name;
    std::uint64_t unpacked;
    std::size_t storedOffset;
    std::uint64_t storedSize;
    std::uint8_t digestSeed;
  };
  const std::size_t first = 12 + 52 + 8;
  const std::size_t second = first + 3 + 52 + 11;
  const std::size_t third = second + 0 + 52 + 17;
  const Expected expected[] = {
      {"Zeta.TXT", 0x01020304, first, 3, 0x10},
      {"alpha/B.dat", 0x0E2E3D4C, second, 0, 0x20},
      {"LOMARVesperon.exe", 0x10000000, third, 3, 0x30},
  };
  ASSERT_EQ(third + 3, bytes.size());
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(ToUtf8(view[i].name), expected[i].name);
    EXPECT_EQ(view[i].unpackedSize, expected[i].unpacked) << i;
    EXPECT_EQ(view[i].storedData, bytes.data() + expected[i].storedOffset) << i;
    EXPECT_EQ(view[i].storedSize, expected[i].storedSize) << i;
    for (std::size_t d = 0; d < 32; ++d) EXPECT_EQ(view[i].digest[d], expected[i].digestSeed + d) << i << ":" << d;
  }
}

}  // namespace
}  // namespace lomar
