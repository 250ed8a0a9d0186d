// UTF-16 text in the portable core: wchar_t on Windows (so strings go straight
// to the W functions), char16_t elsewhere. LT("...") makes a literal of it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace lomar {

#ifdef _WIN32
using Unit = wchar_t;
#define LT(s) L##s
#else
using Unit = char16_t;
#define LT(s) u##s
#endif

using Text = std::basic_string<Unit>;
using TextView = std::basic_string_view<Unit>;

// Two lower-case hexadecimal digits per byte, high half first.
Text ToLowerHex(std::span<const std::uint8_t> bytes);

// ASCII-only widening, for numbers and fixed texts built at run time.
Text WidenAscii(std::string_view ascii);
// UTF-16 to UTF-8 for output streams; unpaired surrogates become U+FFFD.
std::string ToUtf8(TextView text);

// The same into `out`, without allocating: as many whole characters as fit. Returns the bytes written.
std::size_t ToUtf8(TextView text, std::span<char> out) noexcept;

}  // namespace lomar
