#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/failure.h"
#include "core/messages.h"
#include "package/package_loader.h"
#include "package/package_writer.h"

namespace lomar {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

Digest DigestOf(std::uint8_t seed) {
  Digest d{};
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(seed ^ i);
  return d;
}

// The stored bytes are only spanned: they must outlive the entry (literals do).
PackageInput In(std::string name, std::uint64_t unpacked = 9, std::string_view stored = "stored!") {
  return PackageInput{std::move(name), unpacked, DigestOf(static_cast<std::uint8_t>(unpacked)), Bytes(stored)};
}

TEST(WritePackage, LaysOutTheHeaderAndEachEntryByteForByte) {
  const std::string stored = "\x01\x02\x03";
  const std::vector<PackageInput> entries = {
      {"LomarVesperon.exe", 0x0B0C0D0E, DigestOf(0), Bytes(stored)},
      {"a", 0, DigestOf(0xFF), {}},
  };
  std::vector<std::uint8_t> expected = {'L', 'O', 'M', 'P', 'K', 'G', '0', '1', 2, 0, 0, 0,
                                        17, 0, 0, 0, 0x0E, 0x0D, 0x0C, 0x0B, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0};
  for (std::uint8_t b : DigestOf(0)) expected.push_back(b);
  for (char c : std::string("LomarVesperon.exe\x01\x02\x03")) expected.push_back(static_cast<std::uint8_t>(c));
  const std::uint8_t second[] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  expected.insert(expected.end(), std::begin(second), std::end(second));
  for (std::uint8_t b : DigestOf(0xFF)) expected.push_back(b);
  expected.push_back('a');
  EXPECT_EQ(WritePackage(entries), expected);
}

// The layout hands back the caller's stored bytes where they lie, so a large package is never copied whole.
TEST(LayOutPackage, SpansTheCallersStoredBytesAndAddsUpToTheImage) {
  const std::string stored = "payload";
  const std::vector<PackageInput> entries = {In("LOMARVesperon.exe", 7, stored), In("empty", 0, ""),
                                             In("b/c", 3, stored)};
  const PackageLayout layout = LayOutPackage(entries);
  std::vector<std::uint8_t> joined;
  std::size_t spansOfStored = 0;
  for (const auto piece : layout.pieces) {
    if (piece.data() == reinterpret_cast<const std::uint8_t*>(stored.data())) ++spansOfStored;
    joined.insert(joined.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(spansOfStored, 2u);
  EXPECT_EQ(joined.size(), layout.size);
  EXPECT_EQ(joined, WritePackage(entries));
}

TEST(WritePackage, WritesWhatTheLoaderReadsBackInTheSameOrder) {
  const std::string big(1000, 'q');
  const std::vector<PackageInput> entries = {
      In("Zeta/readme.TXT", 4), In("lomarVESPERON.exe", 0x10000000, big), In("caf\xC3\xA9.png", 0, ""),
      In("a", 0x10000000 - 4, "1")};
  const std::vector<std::uint8_t> image = WritePackage(entries);
  const PackageView view = LoadPackage(image.data(), image.size());
  ASSERT_EQ(view.size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(ToUtf8(view[i].name), entries[i].name);
    EXPECT_EQ(view[i].unpackedSize, entries[i].unpackedSize);
    EXPECT_EQ(view[i].digest, entries[i].digest);
    ASSERT_EQ(view[i].storedSize, entries[i].storedBytes.size());
    EXPECT_TRUE(std::equal(entries[i].storedBytes.begin(), entries[i].storedBytes.end(), view[i].storedData)) << i;
  }
}

// Both for what the writer refuses and what the loader says when handed the
// same entries laid out without the writer's checks.
struct Refusal {
  const char* what;
  std::vector<PackageInput> entries;
  const Unit* reason;
  std::size_t entry;
};

std::vector<Refusal> Refusals() {
  const std::size_t none = PackageWriteError::noEntry;
  return {
      {"no entries", {}, msg::invalidFileCount, none},
      {"empty name", {In("lomarvesperon.exe"), In("")}, msg::invalidEntrySize, 1},
      {"name of 2049 bytes", {In(std::string(2049, 'x')), In("lomarvesperon.exe")}, msg::invalidEntrySize, 0},
      {"unpacked total past the bound", {In("lomarvesperon.exe", 0x1FFFFFFF), In("b", 2)}, msg::invalidEntrySize, 1},
      {"unpacked size past the bound", {In("lomarvesperon.exe", 0x20000001)}, msg::invalidEntrySize, 0},
      {"invalid UTF-8", {In("lomarvesperon.exe"), In("a\xC0\xAF")}, msg::invalidFilename, 1},
      {"leading separator", {In("/lomarvesperon.exe")}, msg::invalidPath, 0},
      {"parent folder", {In("lomarvesperon.exe"), In("x/../y")}, msg::unsafePath, 1},
      {"backslash", {In("bin\\a.dll"), In("lomarvesperon.exe")}, msg::unsafePath, 0},
      {"device name", {In("lomarvesperon.exe"), In("Aux.txt")}, msg::reservedFilename, 1},
      {"duplicate by case", {In("Data/A.txt"), In("lomarvesperon.exe"), In("data/a.TXT")}, msg::duplicateFilename, 2},
      {"no game executable", {In("readme.txt")}, msg::incompletePackage, none},
      {"game executable in a folder", {In("bin/lomarvesperon.exe")}, msg::incompletePackage, none},
      {"path rule before the missing game", {In("a:b")}, msg::unsafePath, 0},
  };
}

// The same bytes the writer would produce, with no checks at all.
std::vector<std::uint8_t> LayOut(const std::vector<PackageInput>& entries) {
  std::vector<std::uint8_t> out = {'L', 'O', 'M', 'P', 'K', 'G', '0', '1'};
  const auto le = [&out](std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  le(entries.size(), 4);
  for (const PackageInput& e : entries) {
    le(e.name.size(), 4);
    le(e.unpackedSize, 8);
    le(e.storedBytes.size(), 8);
    out.insert(out.end(), e.digest.begin(), e.digest.end());
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), e.storedBytes.begin(), e.storedBytes.end());
  }
  return out;
}

TEST(WritePackage, RefusesWhatTheLoaderWouldRefuseWithTheSameMessage) {
  for (const Refusal& r : Refusals()) {
    try {
      WritePackage(r.entries);
      ADD_FAILURE() << r.what << ": written";
    } catch (const PackageWriteError& error) {
      EXPECT_EQ(ToUtf8(error.Reason()), ToUtf8(r.reason)) << r.what;
      EXPECT_EQ(error.Entry(), r.entry) << r.what;
      EXPECT_NE(std::string(error.what()).find(ToUtf8(r.reason)), std::string::npos) << r.what;
    }
    const std::vector<std::uint8_t> image = LayOut(r.entries);
    try {
      LoadPackage(image.data(), image.size());
      ADD_FAILURE() << r.what << ": loaded";
    } catch (const Failure& failure) {
      EXPECT_EQ(ToUtf8(failure.message), ToUtf8(r.reason)) << r.what;
    }
  }
}

TEST(WritePackage, NamesTheOffendingEntryInItsDescription) {
  try {
    WritePackage(std::vector<PackageInput>{In("lomarvesperon.exe"), In("docs/CON.md")});
    FAIL() << "written";
  } catch (const PackageWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Reserved portable filename. (entry 2: docs/CON.md)");
  }
}

TEST(WritePackage, RefusesMoreThan4096Entries) {
  std::vector<PackageInput> entries;
  for (int i = 0; i < 4096; ++i) entries.push_back(In(std::string(1, 'f').append(std::to_string(i)), 0, ""));
  entries.push_back(In("lomarvesperon.exe", 0, ""));
  try {
    WritePackage(entries);
    FAIL() << "written";
  } catch (const PackageWriteError& error) {
    EXPECT_EQ(ToUtf8(error.Reason()), ToUtf8(msg::invalidFileCount));
  }
  entries.erase(entries.begin());
  const std::vector<std::uint8_t> image = WritePackage(entries);
  EXPECT_EQ(LoadPackage(image.data(), image.size()).size(), 4096u);
}

TEST(WritePackage, RefusesAnImageAboveTheSizeBoundBeforeAnythingElse) {
  // Every entry spans the same buffer: 4096 of 128 KiB pass the bound with their headers.
  const std::vector<std::uint8_t> chunk(128 * 1024, 0x5A);
  std::vector<PackageInput> entries;
  entries.push_back({"lomarvesperon.exe", 1, {}, chunk});
  entries.push_back({"a:b", 1, {}, chunk});
  for (int i = 2; i < 4096; ++i) entries.push_back({std::string(1, 'f').append(std::to_string(i)), 0, {}, chunk});
  try {
    WritePackage(entries);
    FAIL() << "written";
  } catch (const PackageWriteError& error) {
    EXPECT_EQ(ToUtf8(error.Reason()), ToUtf8(msg::invalidPackageSize));
    EXPECT_EQ(error.Entry(), PackageWriteError::noEntry);
  }
  // A small image with the same bad name is refused for the name.
  entries.resize(2);
  try {
    WritePackage(entries);
    FAIL() << "written";
  } catch (const PackageWriteError& error) {
    EXPECT_EQ(ToUtf8(error.Reason()), ToUtf8(msg::unsafePath));
    EXPECT_EQ(error.Entry(), 1u);
  }
}

}  // namespace
}  // namespace lomar
