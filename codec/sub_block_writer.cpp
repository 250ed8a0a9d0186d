#include "codec/sub_block_writer.h"

#include "codec/bytes.h"

namespace lomar::xpress {
namespace {

// The decoder keeps two 16-bit words in hand; a word is placed once its bits are complete and a 17th bit
// follows, which is exactly when MS-XCA's reader moves past it. Bytes written in between land right after
// the two reserved words, where the reader looks for them.
class BitWriter {
 public:
  explicit BitWriter(std::uint8_t* p) : slot1_(p), slot2_(p + 2), next_(p + 4) {}

  void Put(std::uint32_t value, unsigned count) {  // count at most 16
    bits_ = (bits_ << count) | value;
    count_ += count;
    if (count_ > 16) {
      count_ -= 16;
      Store16(slot1_, static_cast<std::uint16_t>(bits_ >> count_));
      slot1_ = slot2_;
      slot2_ = next_;
      next_ += 2;
    }
  }
  void PutByte(std::uint8_t b) { *next_++ = b; }
  void Put16(std::uint16_t v) {
    Store16(next_, v);
    next_ += 2;
  }
  void Put32(std::uint32_t v) {
    Store32(next_, v);
    next_ += 4;
  }
  std::uint8_t* Finish() {
    Store16(slot1_, static_cast<std::uint16_t>(bits_ << (16 - count_)));
    Store16(slot2_, 0);
    return next_;
  }

 private:
  std::uint8_t* slot1_;
  std::uint8_t* slot2_;
  std::uint8_t* next_;
  std::uint64_t bits_ = 0;
  unsigned count_ = 0;
};

}  // namespace

void CodeLengthsFor(std::span<const Item> items, bool last, std::uint8_t (&lengths)[symbolCount]) {
  std::uint32_t frequencies[symbolCount] = {};
  for (const Item& item : items)
    ++frequencies[item.distance == 0 ? item.length : MatchSymbol(item.length, item.distance)];
  if (last) ++frequencies[endOfData];
  BuildCodeLengths(frequencies, lengths);
}

void SubBlockWriter::Write(std::span<const Item> items, bool last, std::uint8_t (&lengths)[symbolCount]) {
  CodeLengthsFor(items, last, lengths);
  std::uint16_t codes[symbolCount];
  BuildCanonicalCodes(lengths, codes);

  // Each item takes at most 30 bits and 7 length bytes. The scratch keeps its size between sub-blocks, so
  // only the bytes written are copied out, and nothing is cleared first.
  const std::size_t bound = 256 + 8 + items.size() * 12;
  if (scratch_.size() < bound) scratch_.resize(bound);
  std::uint8_t* p = scratch_.data();
  for (unsigned i = 0; i < 256; ++i) p[i] = static_cast<std::uint8_t>(lengths[2 * i] | (lengths[2 * i + 1] << 4));
  BitWriter bits(p + 256);
  for (const Item& item : items) {
    if (item.distance == 0) {
      bits.Put(codes[item.length], lengths[item.length]);
      continue;
    }
    const unsigned sym = MatchSymbol(item.length, item.distance);
    bits.Put(codes[sym], lengths[sym]);
    const std::uint32_t l = item.length - 3;
    if (l >= 15) {
      if (l - 15 < 255) {
        bits.PutByte(static_cast<std::uint8_t>(l - 15));
      } else {
        bits.PutByte(255);
        if (l <= 0xFFFF) {
          bits.Put16(static_cast<std::uint16_t>(l));
        } else {
          bits.Put16(0);
          bits.Put32(l);
        }
      }
    }
    const unsigned db = DistanceBits(item.distance);
    if (db) bits.Put(item.distance - (1u << db), db);
  }
  if (last) bits.Put(codes[endOfData], lengths[endOfData]);
  out_.insert(out_.end(), p, bits.Finish());
}

}  // namespace lomar::xpress
