// Table-driven decoding of LZ77+Huffman with a 64-bit bit buffer. The buffer reads ahead of the reader that
// MS-XCA describes (which holds at most two 16-bit words), so wherever that reader's byte position matters
// (long-length bytes, the end of a sub-block) the position is brought back to where that reader would be.
//
// Each sub-block runs a fast loop while both the input and the output are far from their ends, so that its
// iterations (one literal or one short match each) need no bounds checks of their own, then a careful loop
// that checks every read and write, for the last bytes. Both take the same decisions: the margins only
// remove checks that cannot fail. The fast loop has no branch on what a symbol is (see the entries below)
// and looks each symbol up before the refill that goes with it, so that what bounds its speed is the chain
// from one lookup to the next rather than mispredicted branches.
//
// That chain still leaves most of the processor idle, so the blocks of a framed stream, which are coded on
// their own, are decoded two at a time: each in a lane, the two lanes' fast loops interleaved in one loop
// (the paired loop, below), and a lane that finishes its block takes the next one.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <optional>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "codec/bytes.h"
#include "codec/huffman.h"
#include "codec/lz_huffman.h"

namespace lomar::xpress {
namespace {

constexpr unsigned tableBits = 11;
constexpr unsigned secondaryBits = maxCodeLength - tableBits;
constexpr unsigned tableMask = (1u << tableBits) - 1;

// Entries are 64 bits, laid out so that the fast loop treats literals and short matches alike, without a
// branch between them (which no predictor gets right on compressed data), and so that it reads most fields
// as bytes of the entry in memory rather than by shifting the entry (shifts compete for few ports):
//   byte 0   the bits to consume (bits 0-5 count; x86 shifts look at no more)
//   byte 1   one less than the code length of a match, and byte 2 63 minus its distance bit count, from
//            which the distance is read out of the bits still in hand
//   byte 3   the bytes to produce
//   bytes 4-5 a literal entry's byte and a zero, zero in a match entry, so that they can be or-ed in
//            unconditionally
//   byte 6   the kind of a slow entry (bits 48-49)
//   byte 7   literalFlag and slowFlag.
// A literal entry reads as a distance of 32 to 63 with nothing to read from the stream, so its copy
// touches only bytes before the output position, and then its byte replaces the first word copied.
// slowFlag marks the rest by kind: a link to the secondary table (its slot in bits 32-47), a match whose
// length follows in bytes, and a hole of an incomplete code. (Entries for two literals at once, where both
// codes fit in one index, measured slower: few literal codes are that short, and working them out costs
// each table more than they save.)
static_assert(std::endian::native == std::endian::little, "entries are read as bytes in memory order");
using Entry = std::uint64_t;
constexpr Entry literalFlag = Entry{1} << 62;
constexpr Entry slowFlag = Entry{1} << 63;
constexpr unsigned linkKind = 0, longKind = 1, invalidKind = 2;
constexpr Entry invalidEntry = slowFlag | (Entry{invalidKind} << 48);
constexpr unsigned literalDistanceShift = 58;  // five bits of the stream after a lead 1: 32 to 63
constexpr std::size_t fastHistory = 64;

constexpr Entry LiteralEntry(unsigned sym, unsigned len) {
  return literalFlag | (Entry{sym} << 32) | (Entry{literalDistanceShift} << 16) |
         (Entry{1} << 24) | len;
}
constexpr Entry SymbolEntry(unsigned sym, unsigned len) {
  if (sym < 256) return LiteralEntry(sym, len);
  const unsigned lengthNibble = (sym - 256) & 15;
  const unsigned distanceBits = (sym - 256) >> 4;
  const Entry match = (Entry{63 - distanceBits} << 16) | (Entry{len - 1} << 8);
  if (lengthNibble == 15) return slowFlag | (Entry{longKind} << 48) | match;
  return match | (Entry{lengthNibble + 3} << 24) | (len + distanceBits);
}
constexpr unsigned Kind(Entry e) { return (e >> 48) & 3; }
constexpr unsigned Consume(Entry e) { return e & 63; }
constexpr std::size_t Produce(Entry e) { return (e >> 24) & 31; }
constexpr unsigned ShiftToDistance(Entry e) { return (e >> 8) & 63; }
constexpr unsigned MatchCodeLength(Entry e) { return ShiftToDistance(e) + 1; }
constexpr unsigned DistanceShift(Entry e) { return (e >> 16) & 63; }
constexpr std::uint8_t FirstLiteral(Entry e) { return static_cast<std::uint8_t>(e >> 32); }
constexpr std::uint32_t LinkSlot(Entry e) { return (e >> 32) & 0xFFFF; }

struct alignas(16) DecodeTable {
  Entry primary[1u << tableBits];
  // A code longer than the primary index has its own prefix; at most one prefix per symbol.
  Entry secondary[symbolCount << secondaryBits];
  // Read by the paired loop at fixed offsets from the primary table: room for its 8-byte read of a literal
  // entry's bytes; for a match of distance 1 to 7 the shuffle that repeats its period over 16 bytes; and,
  // set around the loop, where the lane's input and output must stop, where its output ends, and how many
  // long-length bytes the loop took.
  Entry pad[2] = {};
  std::uint8_t periods[8][16];
  const std::uint8_t* pairedInputLimit = nullptr;
  std::uint8_t* pairedOutputLimit = nullptr;
  std::uint8_t* pairedEnd = nullptr;
  std::size_t pairedLengthBytes = 0;

  DecodeTable() {
    for (unsigned d = 0; d < 8; ++d)
      for (unsigned i = 0; i < 16; ++i) periods[d][i] = static_cast<std::uint8_t>(d == 0 ? 0 : i % d);
  }

  bool Build(const std::uint8_t* packed) {
    // Literals and matches are counted and placed apart: each half is its own chain of increments, and
    // two chains run side by side, where one would wait on its own stores whenever lengths repeat.
    constexpr unsigned half = symbolCount / 2;
    std::uint8_t lengths[symbolCount];
    unsigned counts[4][maxCodeLength + 1] = {};  // literals, matches; even and odd symbols of each
    for (unsigned i = 0; i < half / 2; ++i) {
      const std::uint8_t lit = packed[i], match = packed[half / 2 + i];
      lengths[2 * i] = lit & 0x0F;
      lengths[2 * i + 1] = lit >> 4;
      lengths[half + 2 * i] = match & 0x0F;
      lengths[half + 2 * i + 1] = match >> 4;
      ++counts[0][lit & 0x0F];
      ++counts[1][lit >> 4];
      ++counts[2][match & 0x0F];
      ++counts[3][match >> 4];
    }
    unsigned count[maxCodeLength + 1];
    std::uint32_t kraft = 0;
    for (unsigned len = 0; len <= maxCodeLength; ++len) {
      count[len] = counts[0][len] + counts[1][len] + counts[2][len] + counts[3][len];
      if (len != 0) kraft += count[len] << (maxCodeLength - len);
    }
    // Over-subscribed codes are not prefix codes. Incomplete ones are decodable; their holes fail when hit.
    if (kraft > (1u << maxCodeLength)) return false;

    // Symbols in canonical order (by length, then symbol), so that each length's codes fill consecutive
    // runs of the same size, one after the other: a fill whose count changes only between lengths. Within
    // a length the literals come first, then the matches.
    unsigned literalAt[maxCodeLength + 1], matchAt[maxCodeLength + 1];
    for (unsigned len = 1, next = 0; len <= maxCodeLength; ++len) {
      literalAt[len] = next;
      matchAt[len] = next + counts[0][len] + counts[1][len];
      next += count[len];
    }
    std::uint16_t sorted[symbolCount];
    for (unsigned sym = 0; sym < half; ++sym) {
      const unsigned lit = lengths[sym], match = lengths[half + sym];
      if (lit != 0) sorted[literalAt[lit]++] = static_cast<std::uint16_t>(sym);
      if (match != 0) sorted[matchAt[match]++] = static_cast<std::uint16_t>(half + sym);
    }

    unsigned at = 0;  // into sorted
    unsigned cursor = 0;  // into primary
    for (unsigned len = 1; len <= tableBits; ++len) {
      const unsigned span = 1u << (tableBits - len);
      if (span == 1) {
        for (unsigned i = 0; i < count[len]; ++i, ++at) primary[cursor++] = SymbolEntry(sorted[at], len);
        continue;
      }
      // Spans of two entries or more, in 16-byte stores.
      for (unsigned i = 0; i < count[len]; ++i, ++at) {
        const Entry entry = SymbolEntry(sorted[at], len);
        const Entry pair[2] = {entry, entry};
        for (unsigned k = 0; k < span; k += 2) std::memcpy(&primary[cursor + k], pair, sizeof pair);
        cursor += span;
      }
    }
    // Longer codes, still in canonical order, share 11-bit prefixes: each prefix links to its own block.
    unsigned secondaryUsed = 0;
    unsigned code = cursor << (maxCodeLength - tableBits);  // as a 15-bit code
    for (unsigned len = tableBits + 1; len <= maxCodeLength; ++len) {
      const unsigned span = 1u << (maxCodeLength - len);
      for (unsigned i = 0; i < count[len]; ++i, ++at) {
        const unsigned prefix = code >> secondaryBits;
        if (prefix >= cursor) {
          for (; cursor < prefix; ++cursor) primary[cursor] = invalidEntry;
          primary[cursor++] = slowFlag | (Entry{linkKind} << 48) | (Entry{secondaryUsed} << 32);
          secondaryUsed += 1u << secondaryBits;
        }
        Entry* e = &secondary[LinkSlot(primary[prefix]) + (code & ((1u << secondaryBits) - 1))];
        const Entry entry = SymbolEntry(sorted[at], len);
        for (unsigned k = 0; k < span; ++k) e[k] = entry;
        code += span;
      }
    }
    // The holes of an incomplete code.
    for (; cursor <= tableMask; ++cursor) primary[cursor] = invalidEntry;
    for (unsigned k = code & ((1u << secondaryBits) - 1); k != 0 && k < (1u << secondaryBits); ++k)
      secondary[secondaryUsed - (1u << secondaryBits) + k] = invalidEntry;
    return true;
  }
};

// The next four 16-bit little-endian words, the first in the top bits, each most significant bit first.
inline std::uint64_t LoadWordsMsbFirst(const std::uint8_t* p) {
#if defined(__SSE2__) || defined(_M_X64)
  return static_cast<std::uint64_t>(
      _mm_cvtsi128_si64(_mm_shufflelo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), 0x1B)));
#else
  const std::uint64_t v = Load64(p);
  const std::uint64_t r = (v << 32) | (v >> 32);
  return ((r & 0x0000FFFF0000FFFFull) << 16) | ((r >> 16) & 0x0000FFFF0000FFFFull);
#endif
}

// Copies length bytes from distance back, as byte-by-byte copying would where the two overlap. room, at
// least length, is what the output has from op on; whole words may be written up to it.
inline void CopyLong(std::uint8_t* op, std::size_t distance, std::size_t length, std::size_t room) {
  const std::uint8_t* src = op - distance;
  std::size_t i = 0;
  if (room - length >= 32) {
    // Most long matches are a few dozen bytes: 64 bytes straight where there is room, which covers most
    // of them without a loop to mispredict, then whole 32-byte steps, with no exact tail.
    if (distance >= 16) {
      if (room >= 64) {
        std::memcpy(op, src, 16);
        std::memcpy(op + 16, src + 16, 16);
        std::memcpy(op + 32, src + 32, 16);
        std::memcpy(op + 48, src + 48, 16);
        if (length <= 64) return;
        i = 64;
      }
      do {
        std::memcpy(op + i, src + i, 16);
        std::memcpy(op + i + 16, src + i + 16, 16);
        i += 32;
      } while (i < length);
      return;
    }
    if (distance == 1) {
      const std::uint64_t v = src[0] * 0x0101010101010101ull;
      do {
        Store64(op + i, v);
        Store64(op + i + 8, v);
        i += 16;
      } while (i < length);
      return;
    }
  }
  if (distance == 1) {
    std::memset(op, src[0], length);
    return;
  }
  if (distance >= 16) {
    for (; length - i >= 16; i += 16) std::memcpy(op + i, src + i, 16);
  } else {
    // Repeats of the period; a whole number of periods of at least 8 bytes back reads only written bytes.
    const std::size_t step = distance >= 8 ? distance : distance * ((8 + distance - 1) / distance);
    if (distance < 8)
      for (; i < step && i < length; ++i) op[i] = src[i];
    if (room - length >= 8) {
      for (; i < length; i += 8) std::memcpy(op + i, op + i - step, 8);
      return;
    }
    for (; length - i >= 8; i += 8) std::memcpy(op + i, op + i - step, 8);
  }
  for (; i < length; ++i) op[i] = src[i];
}

// Where the bit reader stands within one sub-block.
struct Reader {
  std::uint64_t buf = 0;  // n bits at the top, then bits of the stream still to be counted
  unsigned n = 0;
  std::size_t pos = 0;
  std::size_t lengthBytes = 0;  // taken by long lengths from between the words
};

// One sub-block's decoding state, shared by its careful and fast loops.
struct SubBlock {
  const DecodeTable& table;
  const std::uint8_t* ip;
  std::size_t isize;
  std::uint8_t* base;
  std::uint8_t* subEnd;
  std::uint8_t* oend;
};

// Keeps 48 to 63 bits in hand, whole 16-bit words only; below them may sit the first bits of the next
// word, which the next load writes again with the same values.
inline void RefillFast(Reader& r, const std::uint8_t* ip) {
  r.buf |= LoadWordsMsbFirst(ip + r.pos) >> r.n;
  r.pos += (~r.n >> 3) & 6;  // the whole words that fit: 2 * ((63 - n) / 16) bytes
  r.n |= 48;
}

inline void Refill(Reader& r, const SubBlock& s) {
  if (r.pos <= s.isize && s.isize - r.pos >= 8) return RefillFast(r, s.ip);
  // Past the end the stream reads as zeros; the check at the sub-block's end catches their use.
  while (r.n <= 47) {
    const std::uint64_t lo = r.pos < s.isize ? s.ip[r.pos] : 0;
    const std::uint64_t hi = r.pos + 1 < s.isize ? s.ip[r.pos + 1] : 0;
    r.buf |= ((hi << 8) | lo) << (48 - r.n);
    r.n += 16;
    r.pos += 2;
  }
}

inline void Advance(Reader& r, unsigned bits) {
  r.buf <<= bits;
  r.n -= bits;
}

inline Entry Lookup(const DecodeTable& table, std::uint64_t buf) {
  const Entry e = table.primary[buf >> (64 - tableBits)];
  if ((e & slowFlag) && Kind(e) == linkKind)
    return table.secondary[LinkSlot(e) + ((buf >> (64 - maxCodeLength)) & ((1u << secondaryBits) - 1))];
  return e;
}

// The distance of a match entry, its code still in the buffer: the code's last bit, in the top place,
// stands in for the distance's implicit leading 1.
inline std::size_t DistanceOf(Entry e, std::uint64_t buf) {
  return ((buf << ShiftToDistance(e)) | (std::uint64_t{1} << 63)) >> DistanceShift(e);
}

// A match whose length follows in bytes, with at least 30 bits in hand. Returns the output position
// after it, or null if the stream is corrupt. Rare enough to stay out of line, so that the fast loop
// keeps its state in registers.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
std::uint8_t* LongMatch(Entry e, Reader& r, const SubBlock& s, std::uint8_t* op) {
  Advance(r, MatchCodeLength(e));
  // Back to the position of MS-XCA's two-word reader; the length bytes stand there.
  const unsigned extraWords = (r.n - 16) >> 4;  // n is at least 16 here
  r.n -= 16 * extraWords;
  r.pos -= 2 * extraWords;
  r.buf &= ~std::uint64_t{0} << (64 - r.n);
  const std::size_t lengthAt = r.pos;
  if (r.pos >= s.isize) return nullptr;
  std::size_t length = s.ip[r.pos++];
  if (length == 255) {
    if (s.isize - r.pos < 2) return nullptr;
    length = Load16(s.ip + r.pos);
    r.pos += 2;
    if (length == 0) {
      if (s.isize - r.pos < 4) return nullptr;
      length = Load32(s.ip + r.pos);
      r.pos += 4;
    }
    if (length < 15) return nullptr;
  } else {
    length += 15;
  }
  r.lengthBytes += r.pos - lengthAt;
  length += 3;
  const std::size_t distance = ((r.buf >> 1) | (std::uint64_t{1} << 63)) >> DistanceShift(e);
  Advance(r, 63 - DistanceShift(e));
  if (distance > static_cast<std::size_t>(op - s.base) || length > static_cast<std::size_t>(s.oend - op))
    return nullptr;
  CopyLong(op, distance, length, static_cast<std::size_t>(s.oend - op));
  return op + length;
}

// One symbol, checking everything. Returns the output position after it, or null if the stream is corrupt.
inline std::uint8_t* CarefulStep(Reader& r, const SubBlock& s, std::uint8_t* op) {
  Refill(r, s);
  const Entry e = Lookup(s.table, r.buf);
  if (e & literalFlag) {
    op[0] = FirstLiteral(e);
    Advance(r, Consume(e));
    return op + 1;
  }
  if (e & slowFlag) return Kind(e) == longKind ? LongMatch(e, r, s, op) : nullptr;
  const std::size_t distance = DistanceOf(e, r.buf);
  Advance(r, Consume(e));
  const std::size_t length = Produce(e);
  if (distance > static_cast<std::size_t>(op - s.base) || length > static_cast<std::size_t>(s.oend - op))
    return nullptr;
  CopyLong(op, distance, length, length);
  return op + length;
}

// A fast iteration loads 8 bytes at most 16 past where its run started plus 8 per iteration before it
// (see the runs below), and a long length reads up to seven bytes before the reader's position; it
// writes at most 24 bytes from the output position.
constexpr std::size_t inMargin = 32;
constexpr std::size_t outMargin = 64;

// Decodes while op is below opFast and the reader below inFast, with at least 64 bytes of history before
// op (literal copies read up to 63 bytes back). Returns where it stopped, or null if the stream is
// corrupt. Once 64 KiB of history lie before op, no short match can reach in front of the output, and
// checkDistance is false.
template <bool checkDistance>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline std::uint8_t* FastLoopBody(Reader& r, const SubBlock& s, std::uint8_t* op, std::uint8_t* const opFast,
                                  const std::size_t inFast) {
  const DecodeTable& table = s.table;
  const std::uint8_t* const ip = s.ip;
  // The distance check is by the address a distance leads to, which cannot wrap around, as the output
  // starts at least 64 KiB up in memory whenever this loop runs.
  const std::uintptr_t lowest = reinterpret_cast<std::uintptr_t>(s.base);
  // Local copies, so that they live in registers; the reader is written back only around long matches.
  std::uint64_t buf = r.buf;
  unsigned n = r.n;
  std::size_t pos = r.pos;
  // As RefillFast. In the loop n is right only in its low six bits, all that shifts and the refill look at,
  // which saves masking the count taken from an entry.
  auto refill = [&] {
    buf |= LoadWordsMsbFirst(ip + pos) >> (n & 63);
    pos += (~n >> 3) & 6;
    n |= 48;
  };
  // The entry for the next symbol is looked up before the refill that goes with it, so that the load of
  // the next words does not stand between one symbol and the next. It takes at least 15 bits in hand.
  refill();
  const Entry* ep = &table.primary[buf >> (64 - tableBits)];
  // Iterations counted in advance, rather than two checks on each: a short iteration writes at most 24
  // bytes from op and moves it at most 17, and takes at most 30 bits, so that pos stays within 4 bytes per
  // iteration plus the 8 it may hold ahead.
  auto runsLeft = [&] {
    if (op >= opFast || pos >= inFast) return std::size_t{0};
    return std::min(static_cast<std::size_t>(opFast - op) / 24, (inFast - pos) / 8);
  };
  for (std::size_t k = runsLeft(); k != 0; k = runsLeft()) {
    for (; k != 0; --k) {
      refill();
      Entry e = *ep;
      if (e & slowFlag) {
        if (Kind(e) == linkKind) {
          ep = &table.secondary[LinkSlot(e) + ((buf >> (64 - maxCodeLength)) & ((1u << secondaryBits) - 1))];
          e = *ep;
        }
        if (e & slowFlag) {
          if (Kind(e) != longKind) return nullptr;
          r.buf = buf;
          r.n = (n & 15) | 48;  // the same as n & 63 here, as n was just or-ed with 48
          r.pos = pos;
          op = LongMatch(e, r, s, op);
          if (op == nullptr) return nullptr;
          buf = r.buf;
          n = r.n;
          pos = r.pos;
          refill();
          ep = &table.primary[buf >> (64 - tableBits)];
          // It may have gone any distance: the count starts again from here, this iteration included.
          k = runsLeft() + 1;
          continue;
        }
      }
      // The fields, as bytes of the entry in the table (see the layout above); the distance as in DistanceOf.
      const std::uint8_t* f = reinterpret_cast<const std::uint8_t*>(ep);
      const std::size_t distance = ((buf << f[1]) | (std::uint64_t{1} << 63)) >> f[2];
      const std::size_t length = f[3];
      // None for a literal entry, all for a match; arithmetic rather than a condition, so that it stays
      // branch-free.
      const std::uint64_t keep = (e >> 62) - 1;
      const std::uint64_t bytes = Load16(f + 4);
      buf <<= e & 63;
      n -= static_cast<unsigned>(e);
      ep = &table.primary[buf >> (64 - tableBits)];
      if (checkDistance && reinterpret_cast<std::uintptr_t>(op) - distance < lowest) return nullptr;
      // At most 17 bytes, and the margin leaves room to copy in whole words past them. Only the longest
      // short length needs a 17th byte: a branch on it costs less than a third word on every iteration, whose
      // load often overlaps stores still on their way to the cache and has to wait for them.
      const std::uint8_t* src = op - distance;
      if (distance >= 8) {
        Store64(op, (Load64(src) & keep) | bytes);
        std::memcpy(op + 8, src + 8, 8);
        if (length > 16) [[unlikely]]
          op[16] = src[16];
      } else {
        CopyLong(op, distance, length, length + 16);
      }
      op += length;
    }
  }
  // The entry looked up ahead is dropped; its bits are still in the buffer.
  r.buf = buf;
  r.n = n & 63;
  r.pos = pos;
  return op;
}

using FastLoopFunction = std::uint8_t* (*)(Reader&, const SubBlock&, std::uint8_t*, std::uint8_t*,
                                           std::size_t);

// The loop is compiled on its own, so that its state stays in registers, and where the compiler can target
// it, a second time with BMI2's shifts, which take their count from any register: the loop shifts by counts
// from entries several times per symbol, and without them each of those goes through CL.
template <bool checkDistance>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
std::uint8_t* FastLoop(Reader& r, const SubBlock& s, std::uint8_t* op, std::uint8_t* opFast,
                       std::size_t inFast) {
  return FastLoopBody<checkDistance>(r, s, op, opFast, inFast);
}

#if defined(__GNUC__) && defined(__x86_64__)
template <bool checkDistance>
__attribute__((noinline, target("bmi2")))
std::uint8_t* FastLoopBmi2(Reader& r, const SubBlock& s, std::uint8_t* op, std::uint8_t* opFast,
                           std::size_t inFast) {
  return FastLoopBody<checkDistance>(r, s, op, opFast, inFast);
}
#endif

// The loops for the first 64 KiB of output and for the rest, for this processor; made once per process.
struct FastLoops {
  FastLoopFunction checked = FastLoop<true>;
  FastLoopFunction unchecked = FastLoop<false>;

  FastLoops() {
#if defined(__GNUC__) && defined(__x86_64__)
    if (__builtin_cpu_supports("bmi2")) {
      checked = FastLoopBmi2<true>;
      unchecked = FastLoopBmi2<false>;
    }
#endif
  }
};

// Where one stream stands: between sub-blocks (pos is then the next table's), or inside one.
struct Lane {
  const std::uint8_t* ip = nullptr;
  std::size_t isize = 0;
  std::size_t inFast = 0;
  std::uint8_t* base = nullptr;  // no match may reach in front of it
  std::uint8_t* op = nullptr;
  std::uint8_t* oend = nullptr;
  std::size_t pos = 0;
  bool inSubBlock = false;
  bool tailOnly = false;  // the fast loop could not move here: the sub-block's rest goes carefully
  Reader r;
  std::uint8_t* subEnd = nullptr;
  std::size_t wordsStart = 0;
  DecodeTable table;

  void Start(std::span<const std::uint8_t> in, std::uint8_t* lowest, std::uint8_t* begin, std::uint8_t* end) {
    ip = in.data();
    isize = in.size();
    inFast = isize > inMargin ? isize - inMargin : 0;
    base = lowest;
    op = begin;
    oend = end;
    pos = 0;
    inSubBlock = false;
  }

  SubBlock View() const { return SubBlock{table, ip, isize, base, subEnd, oend}; }
};

enum class LaneState { failed, finished, fast };

// Takes a lane carefully up to where the fast loop can run, through as many sub-blocks as that takes.
LaneState Prepare(Lane& l) {
  for (;;) {
    if (!l.inSubBlock) {
      if (l.op >= l.oend) return LaneState::finished;
      if (l.pos > l.isize || l.isize - l.pos < 256) return LaneState::failed;
      if (!l.table.Build(l.ip + l.pos)) return LaneState::failed;
      l.pos += 256;
      l.wordsStart = l.pos;
      l.subEnd = static_cast<std::size_t>(l.oend - l.op) > subBlockSize ? l.op + subBlockSize : l.oend;
      l.r = Reader{};
      l.r.pos = l.pos;
      l.inSubBlock = true;
      l.tailOnly = false;
    }
    const SubBlock s = l.View();
    while (l.op < l.subEnd && l.op - l.base < static_cast<std::ptrdiff_t>(fastHistory))
      if ((l.op = CarefulStep(l.r, s, l.op)) == nullptr) return LaneState::failed;
    // Only where the fast loop has room for an iteration, counted as it counts them after its first refill
    // (which may take 6 bytes), so that the paired loop always moves both lanes. The output must start at
    // least 64 KiB up in memory, so that the fast loop's distance check by address cannot wrap around.
    if (!l.tailOnly && l.subEnd - l.op >= static_cast<std::ptrdiff_t>(outMargin + 24) &&
        l.r.pos + 16 <= l.inFast && reinterpret_cast<std::uintptr_t>(l.base) >= 65536)
      return LaneState::fast;
    while (l.op < l.subEnd)
      if ((l.op = CarefulStep(l.r, s, l.op)) == nullptr) return LaneState::failed;
    // Where MS-XCA's reader stands now: two words ahead of the last one it had to start on.
    const std::size_t consumed = (l.r.pos - l.wordsStart - l.r.lengthBytes) * 8 - l.r.n;
    if (consumed > (l.isize - l.wordsStart - l.r.lengthBytes) * 8) return LaneState::failed;
    l.pos = l.wordsStart + l.r.lengthBytes + 2 * (2 + (consumed - 1) / 16);
    l.inSubBlock = false;
  }
}

// One lane's fast stretch on its own.
bool RunFast(Lane& l) {
  static const FastLoops loops;
  std::uint8_t* const before = l.op;
  const FastLoopFunction loop =
      l.op - l.base >= static_cast<std::ptrdiff_t>(maxDistance) ? loops.unchecked : loops.checked;
  l.op = loop(l.r, l.View(), l.op, l.subEnd - outMargin, l.inFast);
  if (l.op == nullptr) return false;
  l.tailOnly = l.op == before;
  return true;
}

// Sanitizers see nothing inside the loop below and want registers of their own, so their builds go without;
// clang cannot allocate the loop's registers at all, so its builds go without too.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LOMAR_SANITIZED 1
#endif
#endif
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__OPTIMIZE__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(LOMAR_SANITIZED)
#define LOMAR_PAIRED_LOOP 1
// Two lanes decoded in turns. One stream's symbols wait on each other (each lookup on the one before it),
// and the other stream's fill that time. The loop is written out by hand: with both lanes' state in
// registers the compiler runs out of them and spills on every iteration, which gives the gain back. It
// needs BMI2 and SSSE3, which RunBoth checks for.
//
// As RefillFast, into a lane's buffer B, bit count N and input pointer P (see below).
#define LOMAR_REFILL(B, N, P)           \
  "movq (%[" P "]), %[x]\n\t"           \
  "pshuflw $0x1b, %[x], %[x]\n\t"       \
  "rorx $3, %[" N "], %[t]\n\t"         \
  "not %[t]\n\t"                        \
  "and $6, %[t]\n\t"                    \
  "movq %[x], %[w]\n\t"                 \
  "shrx %[" N "], %[w], %[w]\n\t"       \
  "or %[w], %[" B "]\n\t"               \
  "add %[t], %[" P "]\n\t"              \
  "or $48, %[" N "]\n\t"

// One lane's iteration, as FastLoopBody's, in the registers of the lane's operands: B its buffer, N its bit
// count, P its input pointer, O its output pointer, E its entry; DISP is the offset of the lane's table from
// the first lane's, L a digit that keeps the lane's labels apart. Literal entries take their bytes from the
// entry (the 8 bytes from its fifth on, of which only the first counts).
#define LOMAR_LANE(B, N, P, O, E, DISP, L)      \
  "mov (%[" E "]), %[e]\n\t"                    \
  LOMAR_REFILL(B, N, P)                         \
  "test %[e], %[e]\n\t"                         \
  "js " L "8f\n"                                \
  L "2:\n\t"                                    \
  "movzbl 1(%[" E "]), %k[d]\n\t"               \
  "movzbl 2(%[" E "]), %k[t]\n\t"               \
  "shlx %[d], %[" B "], %[d]\n\t"               \
  "bts $63, %[d]\n\t"                           \
  "shrx %[t], %[d], %[d]\n\t"                   \
  "movzbl 3(%[" E "]), %k[w]\n\t"               \
  "shlx %[e], %[" B "], %[" B "]\n\t"           \
  "sub %[e], %[" N "]\n\t"                      \
  "cmp $8, %[d]\n\t"                            \
  "jb " L "3f\n\t"                              \
  "neg %[d]\n\t"                                \
  "add %[" O "], %[d]\n\t"                      \
  "bt $62, %[e]\n\t"                            \
  "mov (%[d]), %[e]\n\t"                        \
  "cmovc 4(%[" E "]), %[e]\n\t"                 \
  "mov %[e], (%[" O "])\n\t"                    \
  "mov 8(%[d]), %[e]\n\t"                       \
  "mov %[e], 8(%[" O "])\n\t"                   \
  "movzbl 16(%[d]), %k[e]\n\t"                  \
  "mov %b[e], 16(%[" O "])\n"                   \
  L "4:\n\t"                                    \
  "mov %[" B "], %[t]\n\t"                      \
  "shr $53, %[t]\n\t"                           \
  "lea " DISP "(%[tab], %[t], 8), %[" E "]\n\t" \
  "add %[w], %[" O "]\n"                        \
  L "5:\n\t"

// The same lane's rare paths, out of the loop's way. A long match is taken here when its length is in one
// byte, its distance at least 16 and its copy (in 16-byte steps) has room; at any other long match, and at
// a hole, the loop stops with the lane's number in t, the lane refilled but not stepped.
#define LOMAR_LANE_COLD(B, N, P, O, E, DISP, L)                           \
  L "3:\n\t" /* distance 1 to 7: its period, repeated by a shuffle */     \
  "mov %[d], %[t]\n\t"                                                    \
  "neg %[d]\n\t"                                                          \
  "add %[" O "], %[d]\n\t"                                                \
  "add %[t], %[t]\n\t"                                                    \
  "movq (%[d]), %[x]\n\t"                                                 \
  "pshufb " DISP "+81936(%[tab], %[t], 8), %[x]\n\t"                      \
  "movdqu %[x], (%[" O "])\n\t"                                           \
  "movzbl 16(%[d]), %k[e]\n\t"                                            \
  "mov %b[e], 16(%[" O "])\n\t"                                           \
  "jmp " L "4b\n"                                                         \
  L "8:\n\t" /* a slow entry: a link is followed, then a long match */    \
  "mov %[e], %[t]\n\t"                                                    \
  "shr $48, %[t]\n\t"                                                     \
  "and $3, %k[t]\n\t"                                                     \
  "cmp $1, %k[t]\n\t"                                                     \
  "je " L "6f\n\t"                                                        \
  "test %k[t], %k[t]\n\t"                                                 \
  "jnz " L "9f\n\t"                                                       \
  "mov %[" B "], %[t]\n\t"                                                \
  "shr $49, %[t]\n\t"                                                     \
  "and $15, %k[t]\n\t"                                                    \
  "shr $32, %[e]\n\t"                                                     \
  "movzwl %w[e], %k[e]\n\t"                                               \
  "add %[t], %[e]\n\t"                                                    \
  "lea " DISP "+16384(%[tab], %[e], 8), %[" E "]\n\t"                     \
  "mov (%[" E "]), %[e]\n\t"                                              \
  "test %[e], %[e]\n\t"                                                   \
  "jns " L "2b\n\t"                                                       \
  "mov %[e], %[t]\n\t"                                                    \
  "shr $48, %[t]\n\t"                                                     \
  "and $3, %k[t]\n\t"                                                     \
  "cmp $1, %k[t]\n\t"                                                     \
  "jne " L "9f\n"                                                         \
  L "6:\n\t" /* as LongMatch: first what decides whether it is taken */   \
  "movzbl 1(%[" E "]), %k[t]\n\t"                                         \
  "inc %k[t]\n\t"                                                         \
  "mov %[" N "], %[d]\n\t"                                                \
  "sub %[t], %[d]\n\t"                                                    \
  "and $63, %k[d]\n\t"                                                    \
  "sub $16, %k[d]\n\t"                                                    \
  "shr $4, %k[d]\n\t"                                                     \
  "add %k[d], %k[d]\n\t"                                                  \
  "mov %[" P "], %[w]\n\t"                                                \
  "sub %[d], %[w]\n\t"                                                    \
  "movzbl (%[w]), %k[e]\n\t"                                              \
  "cmp $255, %k[e]\n\t"                                                   \
  "je " L "9f\n\t"                                                        \
  "cmpb $59, 2(%[" E "])\n\t"                                             \
  "ja " L "9f\n\t"                                                        \
  "lea 34(%[" O "], %[e]), %[e]\n\t"                                      \
  "cmp " DISP "+82080(%[tab]), %[e]\n\t"                                  \
  "ja " L "9f\n\t"                                                        \
  "sub %[" O "], %[e]\n\t"                                                \
  "sub $16, %[e]\n\t"                                                     \
  "shlx %[t], %[" B "], %[" B "]\n\t" /* the code */                      \
  "sub %[t], %[" N "]\n\t"                                                \
  "lea 1(%[w]), %[" P "]\n\t" /* back to the length byte, and past it */  \
  "shl $3, %[d]\n\t"                                                      \
  "sub %[d], %[" N "]\n\t"                                                \
  "and $63, %[" N "]\n\t"                                                 \
  "mov $64, %k[t]\n\t"                                                    \
  "sub %[" N "], %[t]\n\t"                                                \
  "shrx %[t], %[" B "], %[" B "]\n\t"                                     \
  "shlx %[t], %[" B "], %[" B "]\n\t"                                     \
  "incq " DISP "+82088(%[tab])\n\t"                                       \
  "movzbl 2(%[" E "]), %k[t]\n\t" /* the distance */                      \
  "mov %[" B "], %[d]\n\t"                                                \
  "shr $1, %[d]\n\t"                                                      \
  "bts $63, %[d]\n\t"                                                     \
  "shrx %[t], %[d], %[d]\n\t"                                             \
  "neg %[t]\n\t"                                                          \
  "add $63, %[t]\n\t"                                                     \
  "shlx %[t], %[" B "], %[" B "]\n\t"                                     \
  "sub %[t], %[" N "]\n\t"                                                \
  "neg %[d]\n\t"                                                          \
  "add %[" O "], %[d]\n\t"                                                \
  "xor %k[t], %k[t]\n"                                                    \
  L "7:\n\t"                                                              \
  "movdqu (%[d], %[t]), %[x]\n\t"                                         \
  "movdqu %[x], (%[" O "], %[t])\n\t"                                     \
  "add $16, %[t]\n\t"                                                     \
  "cmp %[e], %[t]\n\t"                                                    \
  "jb " L "7b\n\t"                                                        \
  "add %[e], %[" O "]\n\t"                                                \
  LOMAR_REFILL(B, N, P) /* and the next entry */                          \
  "mov %[" B "], %[t]\n\t"                                                \
  "shr $53, %[t]\n\t"                                                     \
  "lea " DISP "(%[tab], %[t], 8), %[" E "]\n\t"                           \
  "jmp " L "5b\n"                                                         \
  L "9:\n\t"                                                              \
  "mov $" L ", %k[t]\n\t"                                                 \
  "jmp 99f\n"

static_assert(offsetof(DecodeTable, secondary) == 16384 && offsetof(DecodeTable, periods) == 81936 &&
                  offsetof(DecodeTable, pairedInputLimit) == 82064 &&
                  offsetof(DecodeTable, pairedOutputLimit) == 82072 && offsetof(DecodeTable, pairedEnd) == 82080 &&
                  offsetof(DecodeTable, pairedLengthBytes) == 82088,
              "the paired loop reads the table at these offsets");

struct LaneRegisters {
  std::uint64_t buf, n;  // n right in its low six bits only, as in FastLoopBody
  const std::uint8_t* p;
  std::uint8_t* op;
  const Entry* ep;  // looked up ahead, as in FastLoopBody
};

// Rounds of one iteration per lane while both lanes are within their tables' limits, without distance
// checks (both lanes are 64 KiB past their starts). Returns 0 at a limit, or the lane (1 or 2) that
// stopped at an entry left to the caller; the other lane is then at the end of an iteration.
template <std::size_t secondLaneOffset>
__attribute__((always_inline)) inline unsigned PairedLoop(LaneRegisters& a, LaneRegisters& b,
                                                           const DecodeTable& first) {
  std::uint64_t e, t, d, w;
  __m128i x;
  asm volatile(
      "100:\n\t"
      LOMAR_LANE("ba", "na", "pa", "oa", "ea", "0", "1")
      LOMAR_LANE("bb", "nb", "pb", "ob", "eb", "%c[disp]", "2")
      "cmp 82072(%[tab]), %[oa]\n\t"
      "jae 98f\n\t"
      "cmp 82064(%[tab]), %[pa]\n\t"
      "jae 98f\n\t"
      "cmp %c[disp]+82072(%[tab]), %[ob]\n\t"
      "jae 98f\n\t"
      "cmp %c[disp]+82064(%[tab]), %[pb]\n\t"
      "jb 100b\n"
      "98:\n\t"
      "xor %k[t], %k[t]\n\t"
      "jmp 99f\n"
      LOMAR_LANE_COLD("ba", "na", "pa", "oa", "ea", "0", "1")
      LOMAR_LANE_COLD("bb", "nb", "pb", "ob", "eb", "%c[disp]", "2")
      "99:\n"
      : [ba] "+r"(a.buf), [na] "+r"(a.n), [pa] "+r"(a.p), [oa] "+r"(a.op), [ea] "+r"(a.ep),
        [bb] "+r"(b.buf), [nb] "+r"(b.n), [pb] "+r"(b.p), [ob] "+r"(b.op), [eb] "+r"(b.ep),
        [e] "=&r"(e), [t] "=&r"(t), [d] "=&r"(d), [w] "=&r"(w), [x] "=&x"(x)
      : [tab] "r"(first.primary), [disp] "i"(secondLaneOffset)
      : "cc", "memory");
  return static_cast<unsigned>(t);
}
#endif

struct Lanes {
  Lane a, b;
};

#if defined(LOMAR_PAIRED_LOOP)
// Both lanes' fast stretches through the paired loop, with the entries it leaves taken here.
bool PairedFast(Lanes& lanes) {
  auto load = [](const Lane& l) {
    Reader r = l.r;
    RefillFast(r, l.ip);
    return LaneRegisters{r.buf, r.n, l.ip + r.pos, l.op, &l.table.primary[r.buf >> (64 - tableBits)]};
  };
  auto store = [](const LaneRegisters& g, Lane& l) {
    l.r.buf = g.buf;
    l.r.n = static_cast<unsigned>(g.n & 63);
    l.r.pos = static_cast<std::size_t>(g.p - l.ip);
    l.op = g.op;
  };
  // One more iteration fits while its writes (17 bytes at most, or a long match's, which checks its own)
  // stay within the sub-block, and its reads 8 bytes short of where FastLoopBody stops reading (see there).
  auto limit = [](Lane& l) {
    l.table.pairedInputLimit = l.ip + l.inFast - 7;
    l.table.pairedOutputLimit = l.subEnd - 16;
    l.table.pairedEnd = l.oend;
    l.table.pairedLengthBytes = 0;
  };
  auto fits = [](const LaneRegisters& g, const Lane& l) {
    return g.op < l.table.pairedOutputLimit && g.p < l.table.pairedInputLimit;
  };
  limit(lanes.a);
  limit(lanes.b);
  LaneRegisters ga = load(lanes.a), gb = load(lanes.b);
  bool ok = true;
  while (fits(ga, lanes.a) && fits(gb, lanes.b)) {
    const unsigned stopped = PairedLoop<offsetof(Lanes, b)>(ga, gb, lanes.a.table);
    if (stopped == 0) break;
    // A long match the loop does not take, or a hole; the link to it, if any, already followed.
    LaneRegisters& g = stopped == 1 ? ga : gb;
    Lane& l = stopped == 1 ? lanes.a : lanes.b;
    const Entry e = *g.ep;
    if (Kind(e) != longKind) {
      ok = false;
      break;
    }
    l.r.buf = g.buf;
    l.r.n = static_cast<unsigned>((g.n & 15) | 48);  // as n & 63 here, just after a refill
    l.r.pos = static_cast<std::size_t>(g.p - l.ip);
    if ((l.op = LongMatch(e, l.r, l.View(), g.op)) == nullptr) {
      ok = false;
      break;
    }
    g = load(l);
  }
  store(ga, lanes.a);
  store(gb, lanes.b);
  lanes.a.r.lengthBytes += lanes.a.table.pairedLengthBytes;
  lanes.b.r.lengthBytes += lanes.b.table.pairedLengthBytes;
  return ok;
}
#endif

// Both lanes' fast stretches: side by side where the processor takes the paired loop and both lanes are
// far enough from their starts to need no distance checks, else one after the other.
bool RunBoth(Lanes& lanes) {
#if defined(LOMAR_PAIRED_LOOP)
  static const bool paired = __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("ssse3");
  const bool far = lanes.a.op - lanes.a.base >= static_cast<std::ptrdiff_t>(maxDistance) &&
                   lanes.b.op - lanes.b.base >= static_cast<std::ptrdiff_t>(maxDistance);
  if (paired && far) {
    std::uint8_t* const beforeA = lanes.a.op;
    std::uint8_t* const beforeB = lanes.b.op;
    if (!PairedFast(lanes)) return false;
    lanes.a.tailOnly = lanes.a.op == beforeA;
    lanes.b.tailOnly = lanes.b.op == beforeB;
    return true;
  }
#endif
  return RunFast(lanes.a) && RunFast(lanes.b);
}

}  // namespace

bool DecodeLzHuffman(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t begin) {
  Lane lane;
  lane.Start(in, out.data(), out.data() + begin, out.data() + out.size());
  for (;;) {
    switch (Prepare(lane)) {
      case LaneState::failed: return false;
      case LaneState::finished: return true;
      case LaneState::fast:
        if (!RunFast(lane)) return false;
        break;
    }
  }
}

bool DecodeLzHuffmanBlocks(BlockSource& blocks, std::span<std::uint8_t> out) {
  Lanes lanes;
  // Gives a lane the next coded block, copying stored ones on the way; false when there is none.
  auto take = [&](Lane& l) {
    while (const std::optional<StreamBlock> block = blocks.Next()) {
      std::uint8_t* const begin = out.data() + block->begin;
      if (block->raw) {
        std::memcpy(begin, block->bytes.data(), block->end - block->begin);
        continue;
      }
      l.Start(block->bytes, begin, begin, out.data() + block->end);
      return true;
    }
    return false;
  };
  Lane* const both[2] = {&lanes.a, &lanes.b};
  bool busy[2] = {take(lanes.a), take(lanes.b)};
  while (busy[0] || busy[1]) {
    // Each busy lane up to its fast loop; one that finishes its block takes the next and is looked at again.
    bool ready = true;
    for (int i = 0; i < 2 && ready; ++i) {
      if (!busy[i]) continue;
      const LaneState state = Prepare(*both[i]);
      if (state == LaneState::failed) return false;
      if (state == LaneState::finished) {
        busy[i] = take(*both[i]);
        ready = false;
      }
    }
    if (ready && !(busy[0] && busy[1] ? RunBoth(lanes) : RunFast(busy[0] ? lanes.a : lanes.b))) return false;
  }
  return true;
}

}  // namespace lomar::xpress
