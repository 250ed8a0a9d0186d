#include <gtest/gtest.h>

#include <random>
#include <string>

#include "pack/pe_checksum.h"
#include "pack/pe_writer.h"
#include "tests/unit/pack_test_pe.h"

namespace lomar::pe {
namespace {

using namespace test;

Bytes Concatenate(const PackedImage& image) {
  Bytes out;
  for (const auto piece : image.Pieces()) out.insert(out.end(), piece.begin(), piece.end());
  EXPECT_EQ(out.size(), image.Size());
  return out;
}

// Word by word, folding after each, as the algorithm is usually written down.
std::uint32_t ReferenceChecksum(Bytes file, std::size_t field) {
  for (std::size_t i = field; i < field + 4 && i < file.size(); ++i) file[i] = 0;
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    sum += file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return ((sum + (sum >> 16)) & 0xFFFF) + static_cast<std::uint32_t>(file.size());
}

std::span<const std::uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::vector<ResourceInput> KeepAll(const PeImage& image, std::uint16_t dropType = 0) {
  std::vector<ResourceInput> kept;
  for (const Resource& r : ReadResources(image)) {
    if (r.type != ResourceName(dropType)) kept.push_back(Keep(r));
  }
  return kept;
}

const std::string piece1 = "package ", piece2 = "in ", piece3 = "three pieces";

TEST(WriteImage, AddsALastSectionThatReadsBackInDirectoryOrder) {
  const Bytes stub = Stub().Image();
  const PeImage image = ReadImage(stub);
  std::vector<ResourceInput> inputs = KeepAll(image);
  inputs.push_back({10, 101, 0x407, 0, {Span(piece1), Span(piece2), {}, Span(piece3)}});
  inputs.push_back({10, 101, 0, 65001, {Span(piece2)}});
  inputs.push_back({10, ResourceName(LT("Pkg")), 0, 0, {Span(piece3)}});
  inputs.push_back({0xFFFF, 7, 0, 0, {}});
  inputs.push_back({ResourceName(LT("b")), 1, 0, 0, {Span(piece1)}});
  inputs.push_back({ResourceName(LT("BA")), 1, 0, 0, {Span(piece2)}});
  inputs.push_back({ResourceName(LT("\u00E9")), 1, 0, 0, {Span(piece1)}});
  inputs.push_back({ResourceName(LT("B")), ResourceName(LT("z")), 0, 0, {Span(piece2)}});
  const Bytes out = Concatenate(WriteImage(image, inputs));

  EXPECT_EQ(Verdict(out),
            "B/z/0/0=in ;BA/1/0/0=in ;LOMAR/1/0/1252=named type;b/1/0/0=package ;\u00E9/1/0/0=package ;"
            "3/1/0/0=neutral icon;3/1/1033/0=english icon!;10/Pkg/0/0=three pieces;10/101/0/65001=in ;"
            "10/101/1031/0=package in three pieces;14/MAIN/1033/0=group;65535/7/0/0=;");
  const PeImage back = ReadImage(out);
  ASSERT_EQ(back.sections.size(), 4u);
  const Section& added = back.sections[3];
  EXPECT_EQ(std::string(added.name.begin(), added.name.end()), std::string(".rsrc\0\0\0", 8));
  EXPECT_EQ(added.characteristics, 0x40000040u);
  EXPECT_EQ(added.virtualAddress, 0x4000u);  // after .reloc at 0x3000
  EXPECT_EQ(added.rawOffset, 0x1000u);       // not 0xA00: Wine maps sections at multiples of 4096 only
  EXPECT_EQ(added.rawSize % 0x200, 0u);
  EXPECT_EQ(std::uint64_t{added.rawOffset} + added.rawSize, out.size());
  EXPECT_EQ(back.sizeOfImage, (0x4000 + added.virtualSize + 0xFFFu) & ~0xFFFu);
  EXPECT_EQ(back.Directory(2).address, 0x4000u);
  EXPECT_EQ(back.Directory(2).size, added.virtualSize);
  EXPECT_EQ(back.sizeOfInitializedData, 0x1234 + added.rawSize);
  EXPECT_EQ(back.checkSum, ReferenceChecksum(out, checkSumField));
  for (const Resource& r : ReadResources(back)) {
    if (!r.data.empty() && r.data.data() >= out.data() + added.rawOffset) {
      EXPECT_EQ((r.data.data() - out.data()) % 8, 0) << Describe(r);
    }
  }

  // Everything else is the stub's, byte for byte, then zeros up to the new section.
  Bytes before = stub, after(out.begin(), out.begin() + stub.size());
  for (Bytes* b : {&before, &after}) {
    for (const auto& [offset, size] : {std::pair<std::size_t, int>{coff + 2, 2}, {optional + 8, 4}, {optional + 56, 4},
                                      {checkSumField, 4}, {directories + 16, 8}, {sectionTable + 120, 40}}) {
      Set(*b, offset, 0, size);
    }
  }
  EXPECT_EQ(before, after);
  EXPECT_TRUE(std::all_of(out.begin() + stub.size(), out.begin() + 0x1000, [](std::uint8_t b) { return b == 0; }));
}

TEST(WriteImage, RepackingGivesWhatPackingTheStubGives) {
  const Bytes stub = Stub().Image();
  const PeImage image = ReadImage(stub);
  const std::string big(20000, 'p'), small = "small package";
  std::vector<ResourceInput> first = KeepAll(image), second = first;
  first.push_back({10, 101, 0, 0, {Span(big), Span(small)}});
  second.push_back({10, 101, 0, 0, {Span(small)}});

  const Bytes packed = Concatenate(WriteImage(image, first));
  const PeImage packedImage = ReadImage(packed);
  EXPECT_FALSE(ResourceSectionToReplace(image));
  EXPECT_EQ(ResourceSectionToReplace(packedImage), 3u);
  std::vector<ResourceInput> again = KeepAll(packedImage, 10);
  again.push_back(second.back());
  EXPECT_EQ(Concatenate(WriteImage(packedImage, again)), Concatenate(WriteImage(image, second)));
  EXPECT_EQ(Concatenate(WriteImage(packedImage, KeepAll(packedImage))), packed);

  // A last section that also holds what another directory names stays; the new one follows it.
  Bytes shared = packed;
  Set(shared, directories + 5 * 8, packedImage.sections[3].virtualAddress + 0x10, 4);
  Set(shared, directories + 5 * 8 + 4, 8, 4);
  EXPECT_FALSE(ResourceSectionToReplace(ReadImage(shared)));
  EXPECT_EQ(ReadImage(Concatenate(WriteImage(ReadImage(shared), second))).sections.size(), 5u);
}

TEST(WriteImage, RefusesWhatItCannotPack) {
  const std::string data = "x";
  const std::vector<ResourceInput> one = {{10, 101, 0, 0, {Span(data)}}};
  const std::vector<ResourceInput> twice = {one[0], {10, 101, 0, 0, {}}};
  const std::vector<ResourceInput> longName = {{10, ResourceName(Text(0x10000, LT('n'))), 0, 0, {}}};
  struct Case {
    const char* what;
    void (*change)(Bytes&);
    const std::vector<ResourceInput>* resources;
    const char* message;
  };
  const Case cases[] = {
      {"signed", [](Bytes& b) { Set(b, directories + 36, 8, 4); }, &one, "is signed"},
      {"overlay", [](Bytes& b) { b.push_back(0); }, &one, "has 1 bytes of data after its last section"},
      {"headers end at the table",
       [](Bytes& b) { Set(b, optional + 60, sectionTable + 120 + 39, 4); }, &one, "no room for one more section header"},
      {"slot in use", [](Bytes& b) { b[sectionTable + 120 + 39] = 1; }, &one, "no room for one more section header"},
      {"two directories", [](Bytes& b) { Set(b, optional + 108, 2, 4); }, &one, "no resource entry"},
      {"file alignment 0x300", [](Bytes& b) { Set(b, optional + 36, 0x300, 4); }, &one, "not a power of two"},
      {"file alignment 128 KiB", [](Bytes& b) { Set(b, optional + 36, 0x20000, 4); }, &one, "above 64 KiB"},
      {"section alignment 0", [](Bytes& b) { Set(b, optional + 32, 0, 4); }, &one, "not a power of two"},
      {"a directory past the sections",
       [](Bytes& b) {
         Set(b, directories + 6 * 8, 0x3FFF, 4);
         Set(b, directories + 6 * 8 + 4, 2, 4);
       },
       &one, "data directory 6 reaches past its sections"},
      {"twice the same", [](Bytes&) {}, &twice, "share type 10, name 101 and language 0"},
      {"a name of 65536 units", [](Bytes&) {}, &longName, "too long"},
  };
  for (const Case& c : cases) {
    Bytes stub = Stub().Image();
    c.change(stub);
    try {
      WriteImage(ReadImage(stub), *c.resources);
      ADD_FAILURE() << c.what << ": written";
    } catch (const PeError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.what << ": " << error.what();
    }
  }
}

TEST(PeChecksum, MatchesTheWordByWordSumHoweverTheFileIsCut) {
  const Bytes three = {1, 2, 3}, ones = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(PeChecksum(std::vector<std::span<const std::uint8_t>>{three}, 100), 0x0201u + 0x0003u + 3u);
  EXPECT_EQ(PeChecksum(std::vector<std::span<const std::uint8_t>>{ones}, 100), 0xFFFFu + 4u);
  EXPECT_EQ(PeChecksum(std::vector<std::span<const std::uint8_t>>{ones}, 0), 4u);

  std::mt19937 random(7);
  for (const std::size_t size : {0, 1, 2, 5, 6, 4097, 100000}) {
    Bytes file(size);
    for (auto& b : file) b = static_cast<std::uint8_t>(random() % 3 == 0 ? 0xFF : random());
    for (const std::size_t field : {std::size_t{0}, std::size_t{1}, std::size_t{3}, size / 2, size + 1}) {
      std::vector<std::span<const std::uint8_t>> pieces;
      for (std::size_t at = 0; at < size;) {
        const std::size_t length = std::min<std::size_t>(random() % 9, size - at);
        pieces.push_back(std::span(file).subspan(at, length));
        at += length;
      }
      EXPECT_EQ(PeChecksum(pieces, field), ReferenceChecksum(file, field)) << size << " " << field;
    }
  }
}

}  // namespace
}  // namespace lomar::pe
