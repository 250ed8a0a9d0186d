// Arbitrary bytes as a framed stream and as a bare LZ77+Huffman stream: the decoder must only ever say
// corrupt, never read or write outside its spans (ASan), hit undefined behaviour (UBSan) or hang.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/framing.h"
#include "codec/lz_huffman.h"
#include "codec/xpress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lomar::xpress;
  const std::span<const std::uint8_t> input(data, size);

  // The framed stream with a buffer of the size its header asks for, kept small enough to fuzz quickly.
  if (const auto header = ReadHeader(input); header && header->unpackedSize <= (1u << 20)) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(header->unpackedSize));
    const DecodeResult r = Decompress(input, out);
    if (r.status == DecodeStatus::ok && r.produced != out.size()) __builtin_trap();
  } else {
    std::vector<std::uint8_t> out(4096);
    (void)Decompress(input, out);
  }

  // The bare stream, with the first two bytes choosing how much to produce and how much history precedes.
  if (size >= 2) {
    const std::size_t produce = 1 + (std::size_t{data[0]} << 9);
    const std::size_t history = data[1] & 0x3F;
    std::vector<std::uint8_t> out(history + produce);
    (void)DecodeLzHuffman(input.subspan(2), out, history);
  }
  return 0;
}
