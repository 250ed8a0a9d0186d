// The decode table of one sub-block and the layout of its entries, which every loop reads: callers may use
// the entry fields below, DecodeTable (Build fills it from the sub-block's 256 bytes of code lengths, and
// the paired loop reads it at fixed offsets, asserted there), Lookup and DistanceOf.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "codec/huffman.h"

namespace lomar::xpress {

inline constexpr unsigned tableBits = 11;
inline constexpr unsigned secondaryBits = maxCodeLength - tableBits;
inline constexpr unsigned tableMask = (1u << tableBits) - 1;

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
inline constexpr Entry literalFlag = Entry{1} << 62;
inline constexpr Entry slowFlag = Entry{1} << 63;
inline constexpr unsigned linkKind = 0, longKind = 1, invalidKind = 2;
inline constexpr Entry invalidEntry = slowFlag | (Entry{invalidKind} << 48);
inline constexpr unsigned literalDistanceShift = 58;  // five bits of the stream after a lead 1: 32 to 63
inline constexpr std::size_t fastHistory = 64;

// Private to each file that reads them, as when the decoder was one file: gcc inlines such functions before
// it guesses which way the branches around them go, but shared constexpr ones only after, and the fast loop
// then came out laid out differently.
static constexpr unsigned Kind(Entry e) { return (e >> 48) & 3; }
static constexpr unsigned Consume(Entry e) { return e & 63; }
static constexpr std::size_t Produce(Entry e) { return (e >> 24) & 31; }
static constexpr unsigned ShiftToDistance(Entry e) { return (e >> 8) & 63; }
static constexpr unsigned MatchCodeLength(Entry e) { return ShiftToDistance(e) + 1; }
static constexpr unsigned DistanceShift(Entry e) { return (e >> 16) & 63; }
static constexpr std::uint8_t FirstLiteral(Entry e) { return static_cast<std::uint8_t>(e >> 32); }
static constexpr std::uint32_t LinkSlot(Entry e) { return (e >> 32) & 0xFFFF; }

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

  // Fills the table from a sub-block's 256 bytes of packed code lengths. False if they make no prefix code.
  bool Build(const std::uint8_t* packed);
};

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

}  // namespace lomar::xpress
