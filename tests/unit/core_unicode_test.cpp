#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/case_tables.h"
#include "core/unicode.h"

namespace lomar {
namespace {

using Decoder = std::optional<Text> (*)(const std::uint8_t*, std::size_t);

// The platform decoder (MultiByteToWideChar in the Windows build) and the
// portable one must give the same answers.
const struct {
  const char* name;
  Decoder decode;
} kDecoders[] = {{"DecodeUtf8", DecodeUtf8}, {"PortableDecodeUtf8", PortableDecodeUtf8}};

std::optional<Text> Decode(Decoder decode, const std::string& bytes) {
  return decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(DecodeUtf8, DecodesWellFormedSequences) {
  struct Case {
    std::string bytes;
    std::u16string expected;
  };
  const Case cases[] = {
      {"plain/ascii.txt", u"plain/ascii.txt"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"\x7F", u"\u007F"},
      {"\xC2\x80", u"\u0080"},
      {"\xDF\xBF", u"\u07FF"},
      {"\xE0\xA0\x80", u"\u0800"},
      {"\xED\x9F\xBF", u"\uD7FF"},
      {"\xEE\x80\x80", u"\uE000"},
      {"\xEF\xBF\xBD", u"\uFFFD"},
      {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF0\x90\x80\x80", u"\U00010000"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xAE", u"caf\u00E9 \u65E5\u672C \U0001F3AE"},
  };
  for (const auto& decoder : kDecoders) {
    for (const Case& c : cases) {
      const std::optional<Text> text = Decode(decoder.decode, c.bytes);
      ASSERT_TRUE(text.has_value()) << decoder.name << ": " << c.bytes;
      EXPECT_EQ(std::u16string(text->begin(), text->end()), c.expected) << decoder.name << ": " << c.bytes;
    }
  }
}

TEST(DecodeUtf8, RefusesEveryIllFormedSequence) {
  const std::string cases[] = {
      "\x80",                  // a continuation byte without a lead
      "a\xBF" "b",             // the same inside text
      "\xC0\x80",              // overlong zero
      "\xC1\xBF",              // overlong U+007F
      "\xE0\x80\x80",          // overlong three-byte form
      "\xE0\x9F\xBF",          // overlong U+07FF
      "\xF0\x80\x80\x80",      // overlong four-byte form
      "\xF0\x8F\xBF\xBF",      // overlong U+FFFF
      "\xED\xA0\x80",          // high surrogate
      "\xED\xBF\xBF",          // low surrogate
      "\xED\xA0\xBD\xED\xB2\xA9",  // a surrogate pair spelled out (CESU-8)
      "\xF4\x90\x80\x80",      // U+110000
      "\xF5\x80\x80\x80",      // lead byte past the range
      "\xF8\x88\x80\x80\x80",  // five-byte form
      "\xFE",
      "\xFF",
      "a\xC3",                 // cut two-byte sequence
      "\xE6\x97",              // cut three-byte sequence
      "\xF0\x9F\x8E",          // cut four-byte sequence
      "\xC3" "a",              // continuation missing
      "\xE6\x97" "a",          // second continuation missing
      "\xF0\x9F\x8E" "a",      // third continuation missing
      "ok\xC3\xA9\xC3",        // a good letter, then a cut one
  };
  for (const auto& decoder : kDecoders) {
    for (const std::string& bytes : cases) {
      EXPECT_FALSE(Decode(decoder.decode, bytes).has_value()) << decoder.name << " accepted: " << bytes.size()
                                                              << " bytes starting " << int(std::uint8_t(bytes[0]));
    }
  }
}

TEST(DecodeUtf8, DecodesNothingToNothing) {
  for (const auto& decoder : kDecoders) {
    const std::optional<Text> text = decoder.decode(nullptr, 0);
    ASSERT_TRUE(text.has_value()) << decoder.name;
    EXPECT_TRUE(text->empty()) << decoder.name;
  }
}

TEST(PortableDecodeUtf8, AgreesWithTheEncoderOnEveryCodePoint) {
  // Every scalar value, encoded by the launcher's own UTF-16 to UTF-8 routine,
  // decodes back to itself.
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    Text text;
    if (c < 0x10000) {
      text.push_back(static_cast<Unit>(c));
    } else {
      text.push_back(static_cast<Unit>(0xD800 + ((c - 0x10000) >> 10)));
      text.push_back(static_cast<Unit>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    const std::string bytes = ToUtf8(text);
    const std::optional<Text> back = Decode(PortableDecodeUtf8, bytes);
    ASSERT_TRUE(back.has_value()) << std::hex << static_cast<std::uint32_t>(c);
    ASSERT_EQ(*back, text) << std::hex << static_cast<std::uint32_t>(c);
  }
}

using Folder = void (*)(Unit*, std::size_t);
const struct {
  const char* name;
  Folder fold;
} kFolders[] = {{"LowerCase", LowerCase}, {"PortableLowerCase", PortableLowerCase}};

TEST(LowerCase, FoldsWhatBothPlatformsFoldAndKeepsTheLength) {
  struct Case {
    std::u16string in;
    std::u16string out;
  };
  const Case cases[] = {
      {u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", u"abcdefghijklmnopqrstuvwxyz"},
      {u"abc-019_./@[`{~$", u"abc-019_./@[`{~$"},
      {u"LOMARVesperon.EXE", u"lomarvesperon.exe"},
      {u"\u00C0\u00C9\u00D6\u00DE", u"\u00E0\u00E9\u00F6\u00FE"},
      {u"\u00D7\u00DF\u00B9", u"\u00D7\u00DF\u00B9"},  // multiplication sign, sharp s, superscript one
      {u"\u0100\u0101\u0102", u"\u0101\u0101\u0103"},
      {u"\u0391\u03A3\u03A9", u"\u03B1\u03C3\u03C9"},
      {u"\u0410\u042F\u0401", u"\u0430\u044F\u0451"},
      {u"\uFF21\uFF3A", u"\uFF41\uFF5A"},  // full-width A and Z
      {std::u16string(u"A\0B", 3), std::u16string(u"a\0b", 3)},
      {u"\xD800" u"A", u"\xD800" u"a"},  // an unpaired surrogate stays as it is
  };
  for (const auto& folder : kFolders) {
    for (const Case& c : cases) {
      Text text(c.in.begin(), c.in.end());
      folder.fold(text.data(), text.size());
      EXPECT_EQ(std::u16string(text.begin(), text.end()), c.out) << folder.name << ": " << ToUtf8(text);
    }
  }
}

TEST(LowerCase, LeavesUnitsOutsideTheCountAlone) {
  for (const auto& folder : kFolders) {
    Text text = LT("ABCD");
    folder.fold(text.data() + 1, 2);
    EXPECT_EQ(ToUtf8(text), "AbcD") << folder.name;
  }
}

TEST(PortableLowerCase, FoldsBeyondTheBasicPlaneAsCodePoints) {
  struct Case {
    std::u16string in;
    std::u16string out;
  };
  const Case cases[] = {
      {u"\U00010400", u"\U00010428"},  // Deseret
      {u"x\U000104B0y", u"x\U000104D8y"},  // Osage
      {u"\U0001E900", u"\U0001E922"},  // Adlam
      {u"\U00010428\U0001F3AE", u"\U00010428\U0001F3AE"},
      {u"\xDC00\xD801", u"\xDC00\xD801"},  // reversed halves are no pair
  };
  for (const Case& c : cases) {
    Text text(c.in.begin(), c.in.end());
    PortableLowerCase(text.data(), text.size());
    EXPECT_EQ(std::u16string(text.begin(), text.end()), c.out);
  }
}

TEST(PortableLowerCodePoint, MapsUnicodeSimpleLowercase) {
  struct Case {
    char32_t in;
    char32_t out;
  };
  const Case cases[] = {
      {U'A', U'a'},        {U'Z', U'z'},        {U'@', U'@'},        {U'[', U'['},
      {0x0130, U'i'},      {0x212A, U'k'},      {0x212B, 0x00E5},    {0x1E9E, 0x00DF},
      {0x0178, 0x00FF},    {0x0100, 0x0101},    {0x012E, 0x012F},    {0x012F, 0x012F},
      {0x0131, 0x0131},    {0x03F4, 0x03B8},    {0x2C00, 0x2C30},    {0xA7F5, 0xA7F6},
      {0xFFFF, 0xFFFF},    {0x10FFFF, 0x10FFFF}, {0x1E921, 0x1E943}, {0x1E922, 0x1E922},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<std::uint32_t>(PortableLowerCodePoint(c.in)), static_cast<std::uint32_t>(c.out))
        << std::hex << static_cast<std::uint32_t>(c.in);
  }
}

TEST(PortableLowerCodePoint, TableRunsAreSortedDisjointAndStayInTheirPlane) {
  ASSERT_GT(lowerCaseRangeCount, 100u);
  for (std::size_t i = 0; i < lowerCaseRangeCount; ++i) {
    const CaseRange& run = lowerCaseRanges[i];
    EXPECT_TRUE(run.stride == 1 || run.stride == 2) << i;
    EXPECT_LE(run.first, run.last) << i;
    EXPECT_EQ((run.last - run.first) % run.stride, 0u) << i;
    if (i > 0) {
      EXPECT_LT(lowerCaseRanges[i - 1].last, run.first) << i;
    }
    for (char32_t c = run.first; c <= run.last; c += run.stride) {
      const char32_t lower = PortableLowerCodePoint(c);
      EXPECT_NE(lower, c) << std::hex << static_cast<std::uint32_t>(c);
      EXPECT_EQ(c < 0x10000, lower < 0x10000) << std::hex << static_cast<std::uint32_t>(c);
    }
  }
}

// NTFS compares names through an upper-case table of code units: letters that lower-case apart but share a
// capital name one file there.
TEST(PortableUpperCase, FoldsCodeUnitsAsNtfsCompares) {
  struct Case {
    char16_t in;
    char16_t out;
  };
  const Case cases[] = {
      {u'a', u'A'},        {u'A', u'A'},        {u'z', u'Z'},        {u'0', u'0'},     {u'_', u'_'},
      {0x03C3, 0x03A3},    {0x03C2, 0x03A3},    {0x00B5, 0x039C},    {0x03BC, 0x039C}, {0x017F, u'S'},
      {0x0131, u'I'},      {0x00E9, 0x00C9},    {0x00DF, 0x00DF},    {0x1F80, 0x1F88}, {0x0430, 0x0410},
      {0xD801, 0xD801},    {0xDC28, 0xDC28},    {0xFF41, 0xFF21},    {0xFFFF, 0xFFFF},
  };
  for (const Case& c : cases) {
    Unit unit = static_cast<Unit>(c.in);
    PortableUpperCase(&unit, 1);
    EXPECT_EQ(static_cast<std::uint16_t>(unit), static_cast<std::uint16_t>(c.out)) << std::hex << unsigned(c.in);
  }
}

TEST(LowerCased, ReturnsAFoldedCopy) {
  const Text original = LT("Data/A.TXT");
  EXPECT_EQ(ToUtf8(LowerCased(original)), "data/a.txt");
  EXPECT_EQ(ToUtf8(original), "Data/A.TXT");
}

}  // namespace
}  // namespace lomar
