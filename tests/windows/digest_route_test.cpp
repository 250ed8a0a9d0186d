// Which way the run's digests go: one BCryptHash per span where the Wine check says no, the project's
// SHA-256 where it says yes; the provider opened and closed through CNG either way, with its messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/messages.h"
#include "core/sha256.h"
#include "core/text.h"
#include "failure_text.h"
#include "fake_digest_calls.h"
#include "prepare/content_digest.h"

namespace lomar {
namespace {

Digest Of(const std::string& text) {
  return Sha256Of({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, Sha256Engine::portable);
}

TEST(DigestRoute, CngWhereTheWineCheckSaysNoTheProcessorWhereItSaysYes) {
  const std::string inputs[] = {"", "abc", std::string(1000000, 'a'), std::string(4097, '\x5a')};
  struct Case {
    bool underWine;
    int hashCalls;  // per digest
  };
  for (const Case c : {Case{false, 1}, Case{true, 0}}) {
    fake_digest::Reset({.underWine = c.underWine});
    {
      const ShaProvider provider;
      for (const std::string& input : inputs)
        EXPECT_EQ(Sha256Digest(provider, input.data(), input.size()), Of(input)) << c.underWine << " " << input.size();
      EXPECT_EQ(fake_digest::Calls().count("close"), 0u);
    }
    const std::map<std::string, int> expected = {
        {"open", 1}, {"close", 1}, {"underWine", 1}, {"hash", c.hashCalls * static_cast<int>(std::size(inputs))}};
    std::map<std::string, int> got = fake_digest::Calls();
    got.try_emplace("hash", 0);
    EXPECT_EQ(got, expected) << "under Wine: " << c.underWine;
  }
}

TEST(DigestRoute, FileTestGivesTheSameAnswersOnBothRoutes) {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const std::filesystem::path dir =
      std::filesystem::path(temp) / ("lomar-route-" + std::to_string(GetCurrentProcessId()));
  std::filesystem::create_directories(dir);
  const std::string content(70000, 'L');
  std::ofstream(dir / "same", std::ios::binary) << content;
  std::string changed = content;
  changed[69999] = 'M';
  std::ofstream(dir / "changed", std::ios::binary) << changed;
  for (const bool underWine : {false, true}) {
    fake_digest::Reset({.underWine = underWine});
    const ShaProvider provider;
    std::vector<std::uint8_t> buffer(content.size());
    EXPECT_TRUE(FileMatchesDigest(provider, dir / "same", content.size(), Of(content), buffer.data())) << underWine;
    EXPECT_FALSE(FileMatchesDigest(provider, dir / "changed", content.size(), Of(content), buffer.data())) << underWine;
  }
  std::filesystem::remove_all(dir);
}

TEST(DigestRoute, ProviderFailuresKeepTheirMessagesOnBothRoutes) {
  const std::string initialize = ToUtf8(msg::cannotInitVerification);
  const std::string verify = ToUtf8(msg::cannotVerifyFile);
  struct Case {
    const char* failing;
    bool underWine;
    std::string atOpen;
    std::string atHash;
  };
  const NTSTATUS notFound = static_cast<NTSTATUS>(0xC0000225);
  const Case cases[] = {
      {"find", false, initialize, ""},
      {"find", true, initialize, ""},
      {"open", false, initialize, ""},
      {"open", true, initialize, ""},
      {"hash", false, "", verify},
      // Under Wine the digest never reaches CNG's hash, so its failure cannot arise.
      {"hash", true, "", ""},
  };
  for (const Case& c : cases) {
    fake_digest::Reset({.underWine = c.underWine, .failing = c.failing, .status = notFound});
    std::string atHash;
    const std::string atOpen = FailureText([&] {
      const ShaProvider provider;
      atHash = FailureText([&] { Sha256Digest(provider, "x", 1); });
    });
    EXPECT_EQ(atOpen, c.atOpen) << c.failing << " " << c.underWine;
    EXPECT_EQ(atHash, c.atHash) << c.failing << " " << c.underWine;
    // A provider that never opened is never closed.
    EXPECT_EQ(fake_digest::Calls().count("close"), c.atOpen.empty() ? 1u : 0u) << c.failing << " " << c.underWine;
  }
}

}  // namespace
}  // namespace lomar
