// The portable decoder against MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS),
// which is what DecodeUtf8 is in the Windows build: every one- and two-byte
// input, and three- and four-byte inputs around each boundary of the encoding.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/unicode.h"

namespace lomar {
namespace {

std::optional<Text> Windows(const std::vector<std::uint8_t>& bytes) {
  const char* in = reinterpret_cast<const char*>(bytes.data());
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in, int(bytes.size()), nullptr, 0);
  if (length <= 0) return std::nullopt;
  Text text(static_cast<std::size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in, int(bytes.size()), text.data(), length) != length) {
    return std::nullopt;
  }
  return text;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char buffer[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", b);
    out += buffer;
  }
  return out;
}

// Returns false on the first disagreement, after reporting it.
bool Agree(const std::vector<std::uint8_t>& bytes) {
  const std::optional<Text> windows = Windows(bytes);
  const std::optional<Text> platform = DecodeUtf8(bytes.data(), bytes.size());
  const std::optional<Text> portable = PortableDecodeUtf8(bytes.data(), bytes.size());
  EXPECT_EQ(platform, windows) << "DecodeUtf8 is not MultiByteToWideChar for " << Hex(bytes);
  EXPECT_EQ(portable, windows) << "portable " << (portable ? "accepts" : "refuses") << ", Windows "
                               << (windows ? "accepts" : "refuses") << ": " << Hex(bytes);
  return portable == windows && platform == windows;
}

const std::uint8_t kEdges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF,
                               0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};

TEST(PortableDecodeUtf8, AgreesWithMultiByteToWideCharOnEveryShortInput) {
  for (unsigned a = 0; a < 256; ++a) {
    ASSERT_TRUE(Agree({std::uint8_t(a)}));
    for (unsigned b = 0; b < 256; ++b) ASSERT_TRUE(Agree({std::uint8_t(a), std::uint8_t(b)}));
  }
}

TEST(PortableDecodeUtf8, AgreesWithMultiByteToWideCharAroundEveryBoundary) {
  for (unsigned lead = 0xC0; lead < 256; ++lead) {
    for (unsigned second = 0; second < 256; ++second) {
      for (std::uint8_t third : kEdges) {
        ASSERT_TRUE(Agree({std::uint8_t(lead), std::uint8_t(second), third}));
        if (lead < 0xF0) continue;
        for (std::uint8_t fourth : kEdges) {
          ASSERT_TRUE(Agree({std::uint8_t(lead), std::uint8_t(second), third, fourth}));
        }
      }
    }
  }
}

TEST(PortableDecodeUtf8, AgreesWithMultiByteToWideCharOnLongerTrickyInputs) {
  const std::vector<std::vector<std::uint8_t>> cases = {
      {'a', 0, 'b'},
      {0xEF, 0xBB, 0xBF, 'a'},                          // a byte-order mark is a character
      {0xED, 0xA0, 0xBD, 0xED, 0xB2, 0xA9},             // CESU-8 pair
      {0xF0, 0x9F, 0x8E, 0xAE, 0xF0, 0x9F, 0x8E},       // good, then cut
      {0xC3, 0xA9, 0xC3, 0xA9, 0x80},                   // stray continuation at the end
      {0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC, '/', 'x'},
      {0xEF, 0xBF, 0xBE},                               // U+FFFE, a noncharacter
      {0xF4, 0x8F, 0xBF, 0xBF, 'z'},
      {0xF8, 0x88, 0x80, 0x80, 0x80},
      {0xFC, 0x84, 0x80, 0x80, 0x80, 0x80},
  };
  for (const auto& bytes : cases) EXPECT_TRUE(Agree(bytes));
}

}  // namespace
}  // namespace lomar
