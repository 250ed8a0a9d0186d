// Content through Compress and back through Decompress, at the sizes where the format changes shape.
#include <gtest/gtest.h>

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
  WriteHeader(0, header);
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

TEST(RoundTrip, MaxLevelIsSmallerThanFast) {
  const Bytes content = testdata::Text(1u << 20, 5);
  EXPECT_LT(Compress(content, {Level::max, 0}).size(), Compress(content, {Level::fast, 0}).size());
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

#if !defined(_WIN32)
// Past 64 MiB the stream has a second block; kept to the native run, where it takes a moment.
TEST(RoundTrip, JustOver64MiBMakesTwoBlocks) {
  Bytes content = testdata::Text((64u << 20) + 4097, 21);
  const Bytes stream = Compress(content, {Level::fast, 0});
  const auto header = ReadHeader(stream);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->blockSize, maxBlockSize);
  BlockCursor cursor(stream, *header);
  int blocks = 0;
  std::uint64_t total = 0;
  while (const auto b = cursor.Next()) {
    ++blocks;
    total += b->unpackedSize;
  }
  EXPECT_TRUE(cursor.finished());
  EXPECT_EQ(blocks, 2);
  EXPECT_EQ(total, content.size());
  Bytes out(content.size());
  const DecodeResult r = Decompress(stream, out);
  EXPECT_EQ(r.status, DecodeStatus::ok);
  EXPECT_TRUE(out == content);
}
#endif

}  // namespace
}  // namespace lomar::xpress
