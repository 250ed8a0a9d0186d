// Minimal PE32+ images built byte by byte, with field offsets written out here
// rather than taken from the reader, so that a fault shared by the reader and
// the writer cannot hide in the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pack/pe_error.h"
#include "pack/pe_reader.h"
#include "pack/resource_tree.h"

namespace lomar::pe::test {

using Bytes = std::vector<std::uint8_t>;

inline void Set(Bytes& b, std::size_t offset, std::uint64_t value, int count) {
  if (b.size() < offset + count) b.resize(offset + count);
  for (int i = 0; i < count; ++i) b[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline std::uint64_t Get(const Bytes& b, std::size_t offset, int count) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) value |= std::uint64_t{b.at(offset + i)} << (8 * i);
  return value;
}

// Fixed places in every image built here: e_lfanew 0x40, so the COFF header at
// 0x44, the optional header at 0x58, its data directories at 0xC8 and, with 16
// of them, the section table at 0x148.
inline constexpr std::size_t coff = 0x44, optional = 0x58, directories = 0xC8, sectionTable = 0x148;
inline constexpr std::size_t checkSumField = optional + 64;

// A resource tree laid out by hand: tables, data entries and strings go where
// the test puts them, so that it can also put them wrong.
struct Tree {
  std::uint32_t rva;
  Bytes bytes;
  std::uint32_t Table(std::uint16_t named, std::uint16_t ids) {
    const auto at = Reserve(16 + 8u * (named + ids));
    Set(bytes, at + 12, named, 2);
    Set(bytes, at + 14, ids, 2);
    return at;
  }
  void Entry(std::uint32_t table, int index, std::uint32_t name, std::uint32_t target) {
    Set(bytes, table + 16 + 8 * index, name, 4);
    Set(bytes, table + 20 + 8 * index, target, 4);
  }
  std::uint32_t String(const std::u16string& s) {
    const auto at = Reserve(2 + 2 * s.size());
    Set(bytes, at, s.size(), 2);
    for (std::size_t i = 0; i < s.size(); ++i) Set(bytes, at + 2 + 2 * i, s[i], 2);
    return at;
  }
  // A data entry and, after it, its data.
  std::uint32_t Data(const std::string& data, std::uint32_t codePage = 0) {
    const auto at = Reserve(16);
    const auto blob = Reserve(data.size());
    std::copy(data.begin(), data.end(), bytes.begin() + blob);
    Set(bytes, at, rva + blob, 4);
    Set(bytes, at + 4, data.size(), 4);
    Set(bytes, at + 8, codePage, 4);
    return at;
  }
  std::uint32_t Reserve(std::size_t size) {
    const auto at = static_cast<std::uint32_t>((bytes.size() + 7) / 8 * 8);
    bytes.resize(at + size);
    return at;
  }
};
inline constexpr std::uint32_t sub = 0x80000000;

struct TestSection {
  std::string name;
  std::uint32_t rva, rawOffset;
  Bytes raw;
  std::uint32_t virtualSize = 0;  // 0: the raw size
};

struct Shape {
  std::vector<TestSection> sections;
  std::uint32_t resourceRva = 0, resourceSize = 0;
};

// File alignment 0x200, section alignment 0x1000, headers 0x400 bytes, 16 data directories.
inline Bytes Build(const Shape& shape) {
  Bytes b(0x400);
  Set(b, 0, 0x5A4D, 2);
  Set(b, 0x3C, 0x40, 4);
  Set(b, 0x40, 0x4550, 4);
  Set(b, coff, 0x8664, 2);
  Set(b, coff + 2, shape.sections.size(), 2);
  Set(b, coff + 4, 0x5EED5EED, 4);  // time stamp: must survive packing
  Set(b, coff + 16, 240, 2);
  Set(b, coff + 18, 0x22, 2);  // an executable image, large-address aware
  Set(b, optional, 0x20B, 2);
  Set(b, optional + 8, 0x1234, 4);  // SizeOfInitializedData
  Set(b, optional + 32, 0x1000, 4);
  Set(b, optional + 36, 0x200, 4);
  Set(b, optional + 60, 0x400, 4);
  Set(b, optional + 108, 16, 4);
  Set(b, directories + 16, shape.resourceRva, 4);
  Set(b, directories + 20, shape.resourceSize, 4);
  std::uint32_t imageEnd = 0x1000;
  for (std::size_t i = 0; i < shape.sections.size(); ++i) {
    const TestSection& s = shape.sections[i];
    const std::size_t h = sectionTable + 40 * i;
    std::copy(s.name.begin(), s.name.end(), b.begin() + h);
    const std::uint32_t virtualSize = s.virtualSize ? s.virtualSize : static_cast<std::uint32_t>(s.raw.size());
    Set(b, h + 8, virtualSize, 4);
    Set(b, h + 12, s.rva, 4);
    Set(b, h + 16, s.raw.size(), 4);
    Set(b, h + 20, s.raw.empty() ? 0 : s.rawOffset, 4);
    Set(b, h + 36, 0x40000040, 4);
    if (!s.raw.empty() && b.size() < s.rawOffset + s.raw.size()) b.resize(s.rawOffset + s.raw.size());
    std::copy(s.raw.begin(), s.raw.end(), b.begin() + s.rawOffset);
    imageEnd = std::max<std::uint32_t>(imageEnd, (s.rva + virtualSize + 0xFFF) & ~0xFFFu);
  }
  Set(b, optional + 56, imageEnd, 4);
  return b;
}

// The stub the tests pack: code, resources, relocations (so the resources are
// not the last section), resources of every kind of name.
struct Stub {
  Tree tree{0x2000, {}};
  std::uint32_t root, namedType, iconType, groupType, namedTypeNames, iconNames, groupNames;
  Stub() {
    root = tree.Table(1, 2);
    namedType = tree.Table(0, 1);
    iconType = tree.Table(0, 1);
    groupType = tree.Table(1, 0);
    namedTypeNames = tree.Table(0, 1);
    iconNames = tree.Table(0, 2);
    groupNames = tree.Table(0, 1);
    tree.Entry(root, 0, sub | tree.String(u"LOMAR"), sub | namedType);
    tree.Entry(root, 1, 3, sub | iconType);
    tree.Entry(root, 2, 14, sub | groupType);
    tree.Entry(namedType, 0, 1, sub | namedTypeNames);
    tree.Entry(iconType, 0, 1, sub | iconNames);
    tree.Entry(groupType, 0, sub | tree.String(u"MAIN"), sub | groupNames);
    tree.Entry(namedTypeNames, 0, 0, tree.Data("named type", 1252));
    tree.Entry(iconNames, 0, 0, tree.Data("neutral icon"));
    tree.Entry(iconNames, 1, 0x409, tree.Data("english icon!"));
    tree.Entry(groupNames, 0, 0x409, tree.Data("group"));
  }
  Shape MakeShape() const {
    Bytes code(0x200, 0xCC), relocations(0x200, 0x5A), resources = tree.bytes;
    resources.resize(0x200);
    return Shape{{{".text", 0x1000, 0x400, code}, {".rsrc", 0x2000, 0x600, resources, 0x1A0},
                 {".reloc", 0x3000, 0x800, relocations}},
                0x2000, static_cast<std::uint32_t>(tree.bytes.size())};
  }
  Bytes Image() const { return Build(MakeShape()); }
};

inline std::string Text8(const ResourceName& name) { return name.IsId() ? std::to_string(name.Id()) : ToUtf8(name.String()); }

inline std::string Describe(const Resource& r) {
  return Text8(r.type) + "/" + Text8(r.name) + "/" + std::to_string(r.language) + "/" + std::to_string(r.codePage) +
         "=" + std::string(r.data.begin(), r.data.end());
}

// What reading the image and its resources says: the resources, or the refusal.
inline std::string Verdict(const Bytes& file) {
  try {
    std::string all;
    for (const Resource& r : ReadResources(ReadImage(file))) all += Describe(r) + ";";
    return all;
  } catch (const PeError& error) {
    return std::string("refused: ") + error.what();
  }
}

}  // namespace lomar::pe::test
