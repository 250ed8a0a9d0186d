// The format's fixed points: Microsoft's worked examples, a stream the Windows compressor wrote, the header
// and its checksum, and the Huffman code construction.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "codec/crc32.h"
#include "codec/framing.h"
#include "codec/huffman.h"
#include "codec/lz_huffman.h"
#include "codec/xpress.h"
#include "codec_test_data.h"

namespace lomar::xpress {
namespace {

using testdata::Bytes;

// A sub-block table with the given (byte index, value) pairs, then the bit stream and length bytes.
Bytes SubBlock(std::initializer_list<std::pair<int, std::uint8_t>> table, std::initializer_list<std::uint8_t> rest) {
  Bytes out(256, 0);
  for (auto [index, value] : table) out[index] = value;
  out.insert(out.end(), rest);
  return out;
}

// MS-XCA 3.2: "abcdefghijklmnopqrstuvwxyz" as literals; a..v take 5 bits, w..z and end-of-data 4.
Bytes AlphabetExample() {
  Bytes table;
  for (int i = 0; i < 48; ++i) table.push_back(0);
  table.push_back(0x50);
  for (int i = 0; i < 10; ++i) table.push_back(0x55);
  for (std::uint8_t b : {0x45, 0x44, 0x04}) table.push_back(b);
  table.resize(128, 0);
  table.push_back(0x04);
  table.resize(256, 0);
  for (std::uint8_t b : {0xd8, 0x52, 0x3e, 0xd7, 0x94, 0x11, 0x5b, 0xe9, 0x19, 0x5f, 0xf9, 0xd6, 0x7c, 0xdf, 0x8d, 0x04,
                         0x00, 0x00, 0x00, 0x00})
    table.push_back(b);
  return table;
}

// MS-XCA 3.2: "abc" 100 times as a, b, c, then one match of distance 3 and length 297, whose length goes
// in the escape bytes ff 26 01 after the two words the reader holds.
Bytes AbcExample() {
  return SubBlock({{48, 0x30}, {49, 0x23}, {128, 0x02}, {143, 0x20}}, {0xa8, 0xdc, 0x00, 0x00, 0xff, 0x26, 0x01});
}

// What the Windows compressor makes of 65537 zeros: one literal and a single match of 65536 that runs past
// the first 64 KiB, with its length in a 16-bit escape.
Bytes WindowsZeros65537() {
  return SubBlock({{0, 0x02}, {128, 0x02}, {135, 0x10}}, {0x00, 0x98, 0x00, 0x00, 0xff, 0xfd, 0xff});
}

Bytes Decode(const Bytes& raw, std::size_t size) {
  Bytes out(size, 0xEE);
  EXPECT_TRUE(DecodeLzHuffman(raw, out, 0));
  return out;
}

TEST(WorkedExamples, DecodeToTheirText) {
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(Decode(AlphabetExample(), 26), Bytes(alphabet.begin(), alphabet.end()));
  EXPECT_EQ(Decode(AbcExample(), 300), testdata::Repeat("abc", 100));
  EXPECT_EQ(Decode(WindowsZeros65537(), 65537), Bytes(65537, 0));
}

TEST(WorkedExamples, OurEncoderWritesMicrosoftsBytes) {
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyz";
  for (Level level : {Level::fast, Level::max})
    EXPECT_EQ(EncodeLzHuffman(Bytes(alphabet.begin(), alphabet.end()), level, 1), AlphabetExample());
  // The greedy parse is Microsoft's; the max level finds a byte shorter split of the same repeat.
  EXPECT_EQ(EncodeLzHuffman(testdata::Repeat("abc", 100), Level::fast, 1), AbcExample());
  const Bytes max = EncodeLzHuffman(testdata::Repeat("abc", 100), Level::max, 1);
  EXPECT_LE(max.size(), AbcExample().size());
  EXPECT_EQ(Decode(max, 300), testdata::Repeat("abc", 100));
}

TEST(WorkedExamples, WindowsStreamInItsFramingDecodes) {
  Bytes stream(headerSize);
  WriteHeader(65537, 65537, std::span<std::uint8_t, headerSize>(stream.data(), headerSize));
  const Bytes raw = WindowsZeros65537();
  for (int i = 0; i < 4; ++i) stream.push_back(static_cast<std::uint8_t>(raw.size() >> (8 * i)));
  stream.insert(stream.end(), raw.begin(), raw.end());
  Bytes out(65537, 1);
  const DecodeResult r = Decompress(stream, out);
  EXPECT_EQ(r.status, DecodeStatus::ok);
  EXPECT_EQ(r.produced, 65537u);
  EXPECT_EQ(out, Bytes(65537, 0));
}

TEST(Crc32, MatchesZlib) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
  EXPECT_EQ(Crc32({}), 0u);
  // Running in two pieces gives the same as one.
  const Bytes data = testdata::Random(1000, 7);
  EXPECT_EQ(Crc32(std::span(data).subspan(300), Crc32(std::span(data).first(300))), Crc32(data));
}

TEST(Header, CarriesSizesBlockSizeAndTheChecksumOfTheOtherBytes) {
  struct Case {
    std::uint64_t unpacked;
    std::uint64_t platform;  // the whole content up to 64 MiB, then 64 MiB
    std::uint64_t split;     // up to 4 MiB one block; past it an even number of blocks of whole sub-blocks
  };
  const Case cases[] = {{1, 1, 1},
                        {65536, 65536, 65536},
                        {4ull << 20, 4ull << 20, 4ull << 20},
                        {(4ull << 20) + 1, (4ull << 20) + 1, (2ull << 20) + 65536},
                        {12ull << 20, 12ull << 20, 3ull << 20},
                        {64ull << 20, 64ull << 20, 4ull << 20},
                        {(64ull << 20) + 1, 64ull << 20, 57ull << 16},
                        {80ull << 20, 64ull << 20, 4ull << 20},
                        {96039424, 64ull << 20, 62ull << 16},
                        {121244971, 64ull << 20, 62ull << 16}};
  for (const Case& c : cases) {
    EXPECT_EQ(BlockSizeFor(c.unpacked, BlockLayout::platform), c.platform) << c.unpacked;
    EXPECT_EQ(BlockSizeFor(c.unpacked, BlockLayout::split), c.split) << c.unpacked;
    std::uint8_t h[headerSize];
    WriteHeader(c.unpacked, c.platform, h);
    EXPECT_EQ(0, std::memcmp(h, "\x0A\x51\xE5\xC0\x18\x00", 4));
    EXPECT_EQ(h[4], 24);
    EXPECT_EQ(h[5], 0);
    EXPECT_EQ(h[7], 4);
    std::uint8_t others[23];
    std::memcpy(others, h, 6);
    std::memcpy(others + 6, h + 7, 17);
    EXPECT_EQ(h[6], static_cast<std::uint8_t>(Crc32(others)));
    const auto read = ReadHeader(std::span<const std::uint8_t>(h, headerSize));
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->checksumMatches);
    EXPECT_EQ(read->unpackedSize, c.unpacked);
    EXPECT_EQ(read->blockSize, c.platform);
  }
}

TEST(Header, RefusesOtherKindsButNotAWrongChecksum) {
  std::uint8_t good[headerSize];
  WriteHeader(1000, 1000, good);
  struct Case {
    const char* name;
    void (*change)(std::uint8_t* h);
    bool accepted;
  };
  const Case cases[] = {
      {"magic, first byte", [](std::uint8_t* h) { h[0] = 0x0B; }, false},
      {"magic, last byte", [](std::uint8_t* h) { h[3] = 0xC1; }, false},
      {"header size 28", [](std::uint8_t* h) { h[4] = 28; }, false},
      {"header size 0x118", [](std::uint8_t* h) { h[5] = 1; }, false},
      {"plain XPRESS", [](std::uint8_t* h) { h[7] = 3; }, false},
      {"algorithm 5", [](std::uint8_t* h) { h[7] = 5; }, false},
      {"block size 0 with content", [](std::uint8_t* h) { std::memset(h + 16, 0, 8); }, false},
      {"wrong checksum", [](std::uint8_t* h) { h[6] ^= 0x5A; }, true},
      {"no content and block size 0", [](std::uint8_t* h) { std::memset(h + 8, 0, 16); }, true},
  };
  for (const Case& c : cases) {
    std::uint8_t h[headerSize];
    std::memcpy(h, good, headerSize);
    c.change(h);
    const auto read = ReadHeader(std::span<const std::uint8_t>(h, headerSize));
    EXPECT_EQ(read.has_value(), c.accepted) << c.name;
    if (read && std::string(c.name) == "wrong checksum") {
      EXPECT_FALSE(read->checksumMatches);
    }
  }
  EXPECT_FALSE(ReadHeader(std::span<const std::uint8_t>(good, headerSize - 1)));
}

unsigned long long KraftSum(const std::uint8_t (&lengths)[symbolCount]) {
  unsigned long long sum = 0;
  for (std::uint8_t len : lengths)
    if (len) sum += 1ull << (maxCodeLength - len);
  return sum;
}

TEST(CodeLengths, StayWithinFifteenBitsAndFormACompleteCode) {
  struct Case {
    const char* name;
    std::uint32_t frequencies[symbolCount];
  };
  static Case cases[4] = {{"fibonacci", {}}, {"one symbol", {}}, {"two symbols", {}}, {"flat", {}}};
  std::uint32_t a = 1, b = 1;
  for (unsigned s = 0; s < 40; ++s) {  // needs depth 39 without a limit
    cases[0].frequencies[s * 7] = a;
    const std::uint32_t c = a + b;
    a = b;
    b = c;
  }
  cases[1].frequencies[300] = 5;
  cases[2].frequencies[0] = 1;
  cases[2].frequencies[511] = 1000000;
  for (auto& f : cases[3].frequencies) f = 3;
  for (const Case& c : cases) {
    std::uint8_t lengths[symbolCount];
    BuildCodeLengths(c.frequencies, lengths);
    EXPECT_EQ(KraftSum(lengths), 1ull << maxCodeLength) << c.name;
    for (unsigned s = 0; s < symbolCount; ++s) {
      EXPECT_LE(lengths[s], maxCodeLength) << c.name;
      if (c.frequencies[s]) {
        EXPECT_NE(lengths[s], 0) << c.name << " symbol " << s;
      }
    }
  }
}

TEST(CodeLengths, GiveMoreFrequentSymbolsNoLongerCodes) {
  std::uint32_t frequencies[symbolCount] = {};
  const Bytes noise = testdata::Random(symbolCount, 3);
  for (unsigned s = 0; s < symbolCount; ++s) frequencies[s] = noise[s] % 50;
  std::uint8_t lengths[symbolCount];
  BuildCodeLengths(frequencies, lengths);
  for (unsigned s = 0; s < symbolCount; ++s)
    for (unsigned t = 0; t < symbolCount; ++t)
      if (frequencies[s] && frequencies[t] > frequencies[s]) {
        EXPECT_LE(lengths[t], lengths[s]);
      }
}

TEST(CanonicalCodes, AreAPrefixCodeCountingUpByLengthThenSymbol) {
  std::uint8_t lengths[symbolCount] = {};
  lengths[97] = 3;
  lengths[98] = 3;
  lengths[99] = 2;
  lengths[256] = 2;
  lengths[287] = 2;
  std::uint16_t codes[symbolCount];
  BuildCanonicalCodes(lengths, codes);
  EXPECT_EQ(codes[99], 0b00);
  EXPECT_EQ(codes[256], 0b01);
  EXPECT_EQ(codes[287], 0b10);
  EXPECT_EQ(codes[97], 0b110);
  EXPECT_EQ(codes[98], 0b111);
}

}  // namespace
}  // namespace lomar::xpress
