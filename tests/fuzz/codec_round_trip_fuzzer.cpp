// Any content through the encoder and back: the decoder must return exactly the content, at both levels.
// The first byte chooses the level and how the input is stretched (to 4 KiB at most, so that a run stays short enough for tens of millions of them), so that
// sub-block without the fuzzer having to grow them that far.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/xpress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lomar::xpress;
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  std::vector<std::uint8_t> content(data + 1, data + size);
  // Repeating the input with a small change each time makes long matches and sub-block crossings.
  const unsigned copies = (control >> 1) & 0x3F;
  const std::size_t unit = content.size();
  for (unsigned c = 0; c < copies && unit != 0 && content.size() < (4u << 10); ++c) {
    content.insert(content.end(), data + 1, data + size);
    content[content.size() - 1 - (c * 7919u) % unit] ^= static_cast<std::uint8_t>(c);
  }
  const Level level = (control & 1) ? Level::max : Level::fast;
  const std::vector<std::uint8_t> stream = Compress(content, {level, 1});
  std::vector<std::uint8_t> out(content.size());
  const DecodeResult r = Decompress(stream, out);
  if (r.status != DecodeStatus::ok || r.produced != content.size() || out != content) __builtin_trap();
  return 0;
}
