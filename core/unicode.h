// Strict UTF-8 decoding and per-code-unit lower-casing of entry names.
//
// DecodeUtf8 and LowerCase are what the loader and the path rules use: on
// Windows the platform's MultiByteToWideChar and CharLowerBuffW, elsewhere the
// portable versions. The portable versions are built everywhere so that Windows
// tests can hold them against the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/text.h"

namespace lomar {

// UTF-16 for well-formed UTF-8; nothing for any ill-formed, cut, overlong,
// surrogate or above-U+10FFFF sequence (never a replacement character). A zero
// byte is a character like any other.
std::optional<Text> DecodeUtf8(const std::uint8_t* bytes, std::size_t count);

// Lower-cases in place; the length never changes.
void LowerCase(Unit* text, std::size_t count);

// A lower-cased copy.
Text LowerCased(TextView text);

std::optional<Text> PortableDecodeUtf8(const std::uint8_t* bytes, std::size_t count);

// At least as wide as CharLowerBuffW: any two code units that Windows folds
// together are folded together here too, so names that would collide on Windows
// collide here. Valid surrogate pairs are folded as their code point.
void PortableLowerCase(Unit* text, std::size_t count);

// A copy lower-cased by PortableLowerCase: the same answer on every platform.
Text PortableLowerCased(TextView text);

// The mapping of one code point (up to U+10FFFF) that PortableLowerCase applies.
char32_t PortableLowerCodePoint(char32_t codePoint);

// Upper-cases in place, one UTF-16 code unit at a time, as NTFS compares names: two names that differ only
// in letters with the same capital (σ and ς, µ and μ) name one file there although they lower-case apart.
void PortableUpperCase(Unit* text, std::size_t count);

}  // namespace lomar
