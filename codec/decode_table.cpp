// Builds a sub-block's decode table from its code lengths: entries in the layout decode_table.h sets out,
// codes of up to 11 bits in the primary table, longer ones through a link to a block of the secondary.
#include "codec/decode_table.h"

#include <cstring>

namespace lomar::xpress {
namespace {

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

}  // namespace

bool DecodeTable::Build(const std::uint8_t* packed) {
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

}  // namespace lomar::xpress
