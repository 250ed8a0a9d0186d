// Table-driven decoding of LZ77+Huffman with a 64-bit bit buffer. The buffer reads ahead of the reader that
// MS-XCA describes (which holds at most two 16-bit words), so wherever that reader's byte position matters
// (long-length bytes, the end of a sub-block) the position is brought back to where that reader would be.
#include <cstring>

#include "codec/bytes.h"
#include "codec/huffman.h"
#include "codec/lz_huffman.h"

namespace lomar::xpress {
namespace {

constexpr unsigned primaryBits = 11;
constexpr unsigned secondaryBits = maxCodeLength - primaryBits;

// Entries: bits 0-3 the bits to consume; for literals, bits 8-15 the byte, bits 16-23 a second byte that
// the same bits also hold, bit 24 set when they do, bits 25-28 the bits of the first byte alone; for other
// symbols, bits 8-17 the symbol. Secondary links carry the slot in bits 0-15.
constexpr std::uint32_t literalFlag = 0x40000000u;
constexpr std::uint32_t secondaryFlag = 0x80000000u;
constexpr std::uint32_t pairFlag = 1u << 24;
// Symbol 512 with no length: lands in the match path, which refuses it.
constexpr std::uint32_t invalidEntry = 512u << 8;

constexpr std::uint32_t SingleEntry(unsigned sym, unsigned len) {
  return sym < 256 ? literalFlag | (len << 25) | (sym << 8) | len : (sym << 8) | len;
}

struct DecodeTable {
  std::uint32_t primary[1u << primaryBits];
  // A code longer than the primary index has its own 11-bit prefix; at most one prefix per symbol.
  std::uint32_t secondary[symbolCount << secondaryBits];

  bool Build(const std::uint8_t* packed) {
    std::uint8_t lengths[symbolCount];
    for (unsigned i = 0; i < symbolCount / 2; ++i) {
      lengths[2 * i] = packed[i] & 0x0F;
      lengths[2 * i + 1] = packed[i] >> 4;
    }
    unsigned count[maxCodeLength + 1] = {};
    for (std::uint8_t len : lengths) ++count[len];
    std::uint32_t kraft = 0;
    for (unsigned len = 1; len <= maxCodeLength; ++len) kraft += count[len] << (maxCodeLength - len);
    // Over-subscribed codes are not prefix codes. Incomplete ones are decodable; their holes fail when hit.
    if (kraft > (1u << maxCodeLength)) return false;

    unsigned next[maxCodeLength + 2] = {};
    for (unsigned len = 1; len <= maxCodeLength; ++len) next[len + 1] = (next[len] + count[len]) << 1;
    std::uint32_t single[1u << primaryBits];
    for (std::uint32_t& e : single) e = invalidEntry;
    unsigned secondaryUsed = 0;
    for (unsigned sym = 0; sym < symbolCount; ++sym) {
      const unsigned len = lengths[sym];
      if (len == 0) continue;
      const unsigned code = next[len]++;
      const std::uint32_t entry = SingleEntry(sym, len);
      if (len <= primaryBits) {
        std::uint32_t* e = &single[code << (primaryBits - len)];
        for (unsigned k = 0; k < (1u << (primaryBits - len)); ++k) e[k] = entry;
        continue;
      }
      std::uint32_t& link = single[code >> (len - primaryBits)];
      if (!(link & secondaryFlag)) {
        link = secondaryFlag | secondaryUsed;
        for (unsigned k = 0; k < (1u << secondaryBits); ++k) secondary[secondaryUsed + k] = invalidEntry;
        secondaryUsed += 1u << secondaryBits;
      }
      std::uint32_t* e =
          &secondary[(link & 0xFFFF) + ((code << (maxCodeLength - len)) & ((1u << secondaryBits) - 1))];
      for (unsigned k = 0; k < (1u << (maxCodeLength - len)); ++k) e[k] = entry;
    }
    // Where a short literal code leaves room for a second whole literal code in the same index, one
    // lookup yields both.
    constexpr unsigned mask = (1u << primaryBits) - 1;
    for (unsigned index = 0; index <= mask; ++index) {
      const std::uint32_t first = single[index];
      primary[index] = first;
      if (!(first & literalFlag)) continue;
      const unsigned len1 = first & 15;
      const std::uint32_t second = single[(index << len1) & mask];
      if (!(second & literalFlag) || len1 + (second & 15) > primaryBits) continue;
      primary[index] = first + (second & 15) + ((second & 0xFF00) << 8) + pairFlag;
    }
    return true;
  }
};

inline void CopyMatch(std::uint8_t* op, std::size_t distance, std::size_t length, const std::uint8_t* limit) {
  const std::uint8_t* src = op - distance;
  std::uint8_t* const end = op + length;
  if (distance >= 16 && static_cast<std::size_t>(limit - end) >= 16) {
    do {
      std::memcpy(op, src, 16);
      op += 16;
      src += 16;
    } while (op < end);
  } else if (distance >= 8 && static_cast<std::size_t>(limit - end) >= 8) {
    do {
      std::memcpy(op, src, 8);
      op += 8;
      src += 8;
    } while (op < end);
  } else if (distance == 1) {
    std::memset(op, src[0], length);
  } else {
    while (op < end) *op++ = *src++;
  }
}

}  // namespace

bool DecodeLzHuffman(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t begin) {
  const std::uint8_t* const ip = in.data();
  const std::size_t isize = in.size();
  std::uint8_t* const base = out.data();
  std::uint8_t* op = base + begin;
  std::uint8_t* const oend = base + out.size();
  DecodeTable table;
  std::size_t pos = 0;

  while (op < oend) {
    if (pos > isize || isize - pos < 256) return false;
    if (!table.Build(ip + pos)) return false;
    pos += 256;
    const std::size_t wordsStart = pos;
    std::size_t lengthBytes = 0;  // taken by long lengths from between the words
    std::uint64_t buf = 0;  // n bits at the top, then bits of the stream still to be counted
    unsigned n = 0;
    std::uint8_t* const subEnd =
        static_cast<std::size_t>(oend - op) > subBlockSize ? op + subBlockSize : oend;

    // Keeps 48 to 63 bits in hand, whole 16-bit words only; below them may sit the first bits of the next
    // word, which the next load writes again with the same values.
    auto refill = [&] {
      if (pos <= isize && isize - pos >= 8) {
        std::uint64_t v = Load64(ip + pos);
        v = (v << 32) | (v >> 32);
        v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
        buf |= v >> n;
        const unsigned words = (63 - n) >> 4;
        pos += 2 * words;
        n += 16 * words;
        return;
      }
      // Past the end the stream reads as zeros; the check at the sub-block's end catches their use.
      while (n <= 47) {
        const std::uint64_t lo = pos < isize ? ip[pos] : 0;
        const std::uint64_t hi = pos + 1 < isize ? ip[pos + 1] : 0;
        buf |= ((hi << 8) | lo) << (48 - n);
        n += 16;
        pos += 2;
      }
    };
    auto lookup = [&]() -> std::uint32_t {
      std::uint32_t e = table.primary[buf >> (64 - primaryBits)];
      if (e & secondaryFlag)
        e = table.secondary[(e & 0xFFFF) + ((buf >> (64 - maxCodeLength)) & ((1u << secondaryBits) - 1))];
      return e;
    };
    auto consume = [&](unsigned bits) {
      buf <<= bits;
      n -= bits;
    };
    // A match symbol's entry, already looked up with at least 30 bits in hand.
    auto match = [&](std::uint32_t e) -> bool {
      const unsigned matchSymbol = ((e >> 8) & 0x3FF) - 256;
      if (matchSymbol >= 256) return false;
      consume(e & 15);
      std::size_t length = matchSymbol & 15;
      const unsigned distanceBits = matchSymbol >> 4;
      if (length == 15) {
        // Back to the position of MS-XCA's two-word reader; the length bytes stand there.
        while (n >= 32) {
          n -= 16;
          pos -= 2;
        }
        buf &= ~std::uint64_t{0} << (64 - n);
        const std::size_t lengthAt = pos;
        if (pos >= isize) return false;
        length = ip[pos++];
        if (length == 255) {
          if (isize - pos < 2) return false;
          length = Load16(ip + pos);
          pos += 2;
          if (length == 0) {
            if (isize - pos < 4) return false;
            length = Load32(ip + pos);
            pos += 4;
          }
          if (length < 15) return false;
        } else {
          length += 15;
        }
        lengthBytes += pos - lengthAt;
      }
      length += 3;
      const std::size_t distance =
          (std::size_t{1} << distanceBits) | ((static_cast<std::uint32_t>(buf >> 32) >> 1) >> (31 - distanceBits));
      consume(distanceBits);
      if (distance > static_cast<std::size_t>(op - base) || length > static_cast<std::size_t>(oend - op))
        return false;
      CopyMatch(op, distance, length, oend);
      op += length;
      return true;
    };

    // While two bytes of room remain, a literal entry may write both of its bytes.
    while (subEnd - op >= 2) {
      refill();
      std::uint32_t e = lookup();
      if (e & literalFlag) {
        consume(e & 15);
        op[0] = static_cast<std::uint8_t>(e >> 8);
        op[1] = static_cast<std::uint8_t>(e >> 16);
        op += 1 + ((e >> 24) & 1);
        if (subEnd - op < 2) break;
        e = lookup();
        if (e & literalFlag) {
          consume(e & 15);
          op[0] = static_cast<std::uint8_t>(e >> 8);
          op[1] = static_cast<std::uint8_t>(e >> 16);
          op += 1 + ((e >> 24) & 1);
          continue;
        }
      }
      if (!match(e)) return false;
    }
    while (op < subEnd) {
      refill();
      const std::uint32_t e = lookup();
      if (e & literalFlag) {
        consume((e >> 25) & 15);
        *op++ = static_cast<std::uint8_t>(e >> 8);
      } else if (!match(e)) {
        return false;
      }
    }

    // Where MS-XCA's reader stands now: two words ahead of the last one it had to start on.
    const std::size_t consumed = (pos - wordsStart - lengthBytes) * 8 - n;
    if (consumed > (isize - wordsStart - lengthBytes) * 8) return false;
    pos = wordsStart + lengthBytes + 2 * (2 + (consumed - 1) / 16);
  }
  return true;
}

}  // namespace lomar::xpress
