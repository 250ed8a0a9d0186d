// Cross-check with wimlib's XPRESS codec, a peer written from the same public format: it reads what we
// write and we read what it writes. wimlib codes at most 64 KiB per call, with no framing: a single
// sub-block stream.
#include <gtest/gtest.h>
#include <wimlib.h>

#include <memory>
#include <string>

#include "codec/lz_huffman.h"
#include "codec_test_data.h"

namespace lomar::xpress {
namespace {

using testdata::Bytes;

std::vector<std::pair<std::string, Bytes>> Contents() {
  std::vector<std::pair<std::string, Bytes>> out;
  for (std::size_t size : {1u, 2u, 3u, 100u, 300u, 4096u, 65535u, 65536u}) {
    out.emplace_back("zeros " + std::to_string(size), Bytes(size, 0));
    out.emplace_back("text " + std::to_string(size), testdata::Text(size, size));
    out.emplace_back("random " + std::to_string(size), testdata::Random(size, size));
  }
  const Bytes dll = testdata::WineDll("ntdll.dll");
  for (std::size_t at = 0; at + 65536 <= dll.size() && at < (2u << 20); at += 300000)
    out.emplace_back("ntdll.dll at " + std::to_string(at), Bytes(dll.begin() + at, dll.begin() + at + 65536));
  return out;
}

struct Wimlib {
  wimlib_compressor* compressor = nullptr;
  wimlib_decompressor* decompressor = nullptr;
  explicit Wimlib(unsigned level) {
    EXPECT_EQ(wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, 65536, level, &compressor), 0);
    EXPECT_EQ(wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, 65536, &decompressor), 0);
  }
  ~Wimlib() {
    wimlib_free_decompressor(decompressor);
    wimlib_free_compressor(compressor);
  }
};

TEST(Wimlib, ReadsWhatWeWrite) {
  Wimlib peer(50);
  for (const auto& [name, content] : Contents())
    for (Level level : {Level::fast, Level::max}) {
      const Bytes coded = EncodeLzHuffman(content, level, 1);
      Bytes out(content.size());
      EXPECT_EQ(wimlib_decompress(coded.data(), coded.size(), out.data(), out.size(), peer.decompressor), 0) << name;
      EXPECT_TRUE(out == content) << name;
    }
}

TEST(Wimlib, WeReadWhatItWrites) {
  for (unsigned level : {10u, 50u, 100u}) {
    Wimlib peer(level);
    int coded = 0;
    for (const auto& [name, content] : Contents()) {
      Bytes stream(content.size());
      const std::size_t size = wimlib_compress(content.data(), content.size(), stream.data(), stream.size(),
                                               peer.compressor);
      if (size == 0) continue;  // wimlib declines what would not shrink
      ++coded;
      stream.resize(size);
      Bytes out(content.size());
      EXPECT_TRUE(DecodeLzHuffman(stream, out, 0)) << name << " level " << level;
      EXPECT_TRUE(out == content) << name << " level " << level;
    }
    EXPECT_GT(coded, 10);
  }
}

}  // namespace
}  // namespace lomar::xpress
