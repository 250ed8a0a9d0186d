// Canonical Huffman codes over the 512 symbols of LZ77+Huffman: 256 literals, then 256 match symbols
// (distance bit count in the high nibble, length in the low nibble).
#pragma once

#include <cstdint>

namespace lomar::xpress {

inline constexpr unsigned symbolCount = 512;
inline constexpr unsigned maxCodeLength = 15;
inline constexpr unsigned endOfData = 256;

// Code lengths, at most 15, of a prefix code for the frequencies. Ties go the way Microsoft's examples go:
// among equally frequent symbols the higher ones get the shorter codes. When only one symbol is used a
// second one gets a code too, so that the code is always complete.
void BuildCodeLengths(const std::uint32_t (&frequencies)[symbolCount], std::uint8_t (&lengths)[symbolCount]);

// Codes in canonical order: by length, then by symbol, counting up from all zeros.
void BuildCanonicalCodes(const std::uint8_t (&lengths)[symbolCount], std::uint16_t (&codes)[symbolCount]);

}  // namespace lomar::xpress
