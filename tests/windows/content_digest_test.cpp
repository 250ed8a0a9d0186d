#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/failure.h"
#include "prepare/content_digest.h"

namespace lomar {
namespace {

namespace fs = std::filesystem;

Digest FromHex(const char* hex) {
  Digest d{};
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
  return d;
}

TEST(Sha256Digest, MatchesPublishedVectorsThroughCng) {
  const ShaProvider provider;
  struct Case {
    std::string input;
    const char* hex;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Sha256Digest(provider, c.input.data(), c.input.size()), FromHex(c.hex)) << c.input.size();
}

class FileMatchesDigestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    dir_ = fs::path(temp) / ("lomar-digest-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const char* name, const std::string& content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  bool Matches(const fs::path& path, const std::string& expected) {
    buffer_.assign(expected.size(), 0);
    const Digest digest = Sha256Digest(provider_, expected.data(), expected.size());
    return FileMatchesDigest(provider_, path, expected.size(), digest, buffer_.data());
  }

  ShaProvider provider_;
  fs::path dir_;
  std::vector<std::uint8_t> buffer_;
};

TEST_F(FileMatchesDigestTest, OnlyTheExactContentMatches) {
  const std::string content = "LOMAR Vesperon runtime file\n";
  struct Case {
    const char* what;
    std::string onDisk;
    bool matches;
  };
  std::string changed = content;
  changed[5] ^= 1;
  const Case cases[] = {
      {"same", content, true},
      {"one byte changed", changed, false},
      {"one byte shorter", content.substr(1), false},
      {"one byte longer", content + "x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(Matches(Write(c.what, c.onDisk), content), c.matches) << c.what;
  EXPECT_EQ(buffer_.size(), content.size());
}

TEST_F(FileMatchesDigestTest, WrongSizeIsRejectedWithoutReading) {
  const fs::path path = Write("other-size", "12345");
  // Held open with no sharing at all: a read attempt would fail, but the size
  // test must decide first, so the answer is a plain mismatch either way, and
  // the buffer is left as it was.
  const HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  buffer_.assign(4, 0xAA);
  const Digest digest = Sha256Digest(provider_, "1234", 4);
  EXPECT_FALSE(FileMatchesDigest(provider_, path, 4, digest, buffer_.data()));
  EXPECT_EQ(buffer_, std::vector<std::uint8_t>(4, 0xAA));
  CloseHandle(held);
}

TEST_F(FileMatchesDigestTest, WhatIsNotARegularFileNeverMatches) {
  fs::create_directories(dir_ / "a-folder");
  EXPECT_FALSE(Matches(dir_ / "missing.dll", "x"));
  EXPECT_FALSE(Matches(dir_ / "no-such-folder" / "x.dll", "x"));
  EXPECT_FALSE(Matches(dir_ / "a-folder", ""));
}

TEST_F(FileMatchesDigestTest, EmptyFileMatchesOnlyTheDigestOfNothing) {
  const fs::path empty = Write("empty", "");
  EXPECT_TRUE(Matches(empty, ""));
  const Digest other = Sha256Digest(provider_, "x", 1);
  EXPECT_FALSE(FileMatchesDigest(provider_, empty, 0, other, nullptr));
}

}  // namespace
}  // namespace lomar
