// Content through Compress and back through Decompress, at the sizes where the format changes shape.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "codec/bytes.h"
#include "codec/framing.h"
#include "codec/lz_huffman.h"
#include "codec/xpress.h"
#include "codec_test_data.h"

namespace lomar::xpress {
namespace {

using testdata::Bytes;

void ExpectRoundTrip(const Bytes& content, Level level, const std::string& what) {
  const Bytes stream = Compress(content, {level, 0});
  Bytes out(content.size() + 3, 0xA5);  // a roomier buffer keeps its tail
  const DecodeResult r = Decompress(stream, out);
  ASSERT_EQ(r.status, DecodeStatus::ok) << what;
  ASSERT_EQ(r.produced, content.size()) << what;
  ASSERT_TRUE(std::equal(content.begin(), content.end(), out.begin())) << what;
  EXPECT_EQ(Bytes(out.end() - 3, out.end()), Bytes(3, 0xA5)) << what;
}

TEST(RoundTrip, EdgeSizesOfEveryKindOfContent) {
  const std::size_t sizes[] = {1, 2, 3, 4, 255, 300, 65535, 65536, 65537, 131072, 131075, (1u << 20) + 5};
  struct Kind {
    const char* name;
    Bytes (*make)(std::size_t);
  };
  const Kind kinds[] = {
      {"zeros", [](std::size_t n) { return Bytes(n, 0); }},
      {"random", [](std::size_t n) { return testdata::Random(n, n); }},
      {"text", [](std::size_t n) { return testdata::Text(n, n); }},
      {"period 3",
       [](std::size_t n) {
         Bytes b = testdata::Repeat("xyz", n / 3 + 1);
         b.resize(n);
         return b;
       }},
  };
  for (const Kind& kind : kinds)
    for (std::size_t size : sizes)
      for (Level level : {Level::fast, Level::max})
        ExpectRoundTrip(kind.make(size), level,
                        std::string(kind.name) + " " + std::to_string(size) + (level == Level::fast ? " fast" : " max"));
}

TEST(RoundTrip, RealExecutables) {
  const Bytes dll = testdata::WineDll("kernelbase.dll");
  if (dll.empty()) GTEST_SKIP() << "Wine's DLLs are not on this machine";
  const Bytes part(dll.begin(), dll.begin() + std::min<std::size_t>(dll.size(), 3u << 20));
  for (Level level : {Level::fast, Level::max}) {
    const Bytes stream = Compress(part, {level, 0});
    EXPECT_LT(stream.size(), part.size() / 2);  // executables compress well; a broken parser would not
    ExpectRoundTrip(part, level, "kernelbase.dll");
  }
}

TEST(RoundTrip, EmptyContentIsAnEmptyStream) {
  EXPECT_TRUE(Compress({}).empty());
  Bytes none;
  const DecodeResult r = Decompress({}, none);
  EXPECT_EQ(r.status, DecodeStatus::ok);
  EXPECT_EQ(r.produced, 0u);
  // A header that says "no content" with no blocks is read the same way.
  std::uint8_t header[headerSize];
  WriteHeader(0, 0, header);
  EXPECT_EQ(Decompress(header, none).status, DecodeStatus::ok);
}

TEST(RoundTrip, IncompressibleBlocksAreStoredAsIs) {
  const Bytes content = testdata::Random(100000, 42);
  const Bytes stream = Compress(content);
  ASSERT_EQ(stream.size(), headerSize + 4 + content.size());
  EXPECT_EQ(Load32(&stream[headerSize]), content.size());
  EXPECT_TRUE(std::equal(content.begin(), content.end(), stream.begin() + headerSize + 4));
}

TEST(RoundTrip, OutputDoesNotDependOnTheThreadCount) {
  Bytes content = testdata::Text(3u << 20, 9);
  const Bytes dll = testdata::WineDll("kernelbase.dll");
  content.insert(content.end(), dll.begin(), dll.begin() + std::min<std::size_t>(dll.size(), 1u << 20));
  for (Level level : {Level::fast, Level::max}) {
    const Bytes one = Compress(content, {level, 1});
    EXPECT_EQ(Compress(content, {level, 2}), one);
    EXPECT_EQ(Compress(content, {level, 3}), one);
  }
}

// Each thread keeps its tables from call to call: what it coded before must not change what it codes next.
TEST(RoundTrip, OutputDoesNotDependOnWhatTheThreadCodedBefore) {
  const Bytes text = testdata::Text(300000, 12);
  const Bytes other = testdata::Random(200000, 13);
  for (Level level : {Level::fast, Level::max}) {
    const Bytes first = Compress(text, {level, 1});
    (void)Compress(other, {level, 1});
    (void)Compress(Bytes(text.begin(), text.begin() + 70000), {level, 1});
    EXPECT_EQ(Compress(text, {level, 1}), first);
  }
}

TEST(RoundTrip, MaxLevelIsSmallerThanFast) {
  const Bytes content = testdata::Text(1u << 20, 5);
  EXPECT_LT(Compress(content, {Level::max, 0}).size(), Compress(content, {Level::fast, 0}).size());
}

// The default layout is the platform compressor's: one block up to 64 MiB, then blocks of 64 MiB and the
// rest. The split layout cuts even numbers of blocks of at most 4 MiB. Both come back whole.
TEST(RoundTrip, BothBlockLayouts) {
  struct Case {
    std::size_t size;
    BlockLayout layout;
    std::size_t blocks;
    bool everywhere;  // also under Wine, where the test takes longer
  };
  const Case cases[] = {
      {(5u << 20) + 3, BlockLayout::platform, 1, true},
      {(5u << 20) + 3, BlockLayout::split, 2, true},
      {(64u << 20) + 70000, BlockLayout::platform, 2, false},
  };
  const Bytes unit = testdata::Text(1u << 20, 21);
  for (const Case& c : cases) {
#if defined(_WIN32)
    if (!c.everywhere) continue;
#endif
    Bytes content;
    while (content.size() < c.size) content.insert(content.end(), unit.begin(), unit.end());
    content.resize(c.size);
    const Bytes tail = testdata::Random(5000, 3);
    std::copy(tail.begin(), tail.end(), content.end() - tail.size());
    const Bytes stream = Compress(content, {Level::fast, 0, c.layout});
    const auto header = ReadHeader(stream);
    ASSERT_TRUE(header) << c.size;
    EXPECT_EQ(header->blockSize, BlockSizeFor(content.size(), c.layout)) << c.size;
    BlockCursor cursor(stream, *header);
    std::size_t blocks = 0;
    while (cursor.Next()) ++blocks;
    EXPECT_TRUE(cursor.finished());
    EXPECT_EQ(blocks, c.blocks) << c.size;
    Bytes out(content.size());
    EXPECT_EQ(Decompress(stream, out).status, DecodeStatus::ok) << c.size;
    EXPECT_TRUE(out == content) << c.size;
  }
}

// Matches reach back across 64 KiB sub-blocks: a random 40 KiB unit repeated cannot compress otherwise.
TEST(RoundTrip, HistoryCrossesSubBlocks) {
  const Bytes unit = testdata::Random(40000, 11);
  Bytes content;
  for (int i = 0; i < 5; ++i) content.insert(content.end(), unit.begin(), unit.end());
  for (Level level : {Level::fast, Level::max}) {
    EXPECT_LT(Compress(content, {level, 0}).size(), 50000u);
    ExpectRoundTrip(content, level, "repeated random unit");
  }
}

// Content in 4 MiB parts of different kinds, one letter per part, cut into blocks of at most 4 MiB: coded
// blocks are decoded two at a time side by side, stored ones copied on the way, and each layout must come
// back whole with no block decoded again one after another (which would hide a mistake in the paired
// decoder).
Bytes Layout(const std::string& letters, std::size_t tail) {
  const std::size_t block = static_cast<std::size_t>(maxSplitBlockSize);
  const Bytes dll = testdata::WineDll("kernelbase.dll");
  Bytes content;
  for (std::size_t i = 0; i < letters.size(); ++i) {
    const std::size_t size = i + 1 == letters.size() && tail != 0 ? tail : block;
    Bytes part;
    switch (letters[i]) {
      case 'T': part = testdata::Text(size, i); break;         // short and medium matches
      case 'R': part = testdata::Random(size, i); break;       // stored as is
      case 'Z': part = Bytes(size, 0); break;                  // long matches at distance 1
      case 'P': part = testdata::Repeat("abcdefghij", size / 10 + 1); break;  // long, distance 10
      case 'D':                                                // executable code where there is some
        part = dll.empty() ? testdata::Text(size, i + 100) : Bytes();
        while (part.size() < size) part.insert(part.end(), dll.begin(), dll.end());
        break;
    }
    part.resize(size);
    content.insert(content.end(), part.begin(), part.end());
  }
  return content;
}

TEST(RoundTrip, BlocksTwoAtATime) {
  struct Case {
    const char* letters;
    std::size_t tail;  // the last block's size, when short of 4 MiB
    Level level;
    bool everywhere;  // also under Wine, where the test takes longer
  };
  const Case cases[] = {
      {"TT", 0, Level::fast, true},   {"TDT", 4097, Level::fast, false}, {"TRT", 0, Level::fast, false},
      {"RDTZ", 65, Level::fast, false}, {"DPTD", 300000, Level::max, false}, {"ZT", 0, Level::max, false},
  };
  for (const Case& c : cases) {
#if defined(_WIN32)
    if (!c.everywhere) continue;
#endif
    const std::string what = std::string(c.letters) + (c.level == Level::fast ? " fast" : " max");
    const Bytes content = Layout(c.letters, c.tail);
    const Bytes stream = Compress(content, {c.level, 0, BlockLayout::split});
    const auto header = ReadHeader(stream);
    ASSERT_TRUE(header) << what;
    EXPECT_EQ(header->blockSize, BlockSizeFor(content.size(), BlockLayout::split)) << what;
    BlockCursor cursor(stream, *header);
    CursorBlocks source(cursor);
    Bytes out(content.size() + 16, 0x3C);
    EXPECT_TRUE(DecodeLzHuffmanBlocks(source, std::span(out).first(content.size()))) << what;
    EXPECT_TRUE(cursor.finished()) << what;
    EXPECT_TRUE(std::equal(content.begin(), content.end(), out.begin())) << what;
    EXPECT_EQ(Bytes(out.end() - 16, out.end()), Bytes(16, 0x3C)) << what;
    Bytes again(content.size());
    EXPECT_EQ(Decompress(stream, again).status, DecodeStatus::ok) << what;
    EXPECT_TRUE(again == content) << what;
  }
}

}  // namespace
}  // namespace lomar::xpress
