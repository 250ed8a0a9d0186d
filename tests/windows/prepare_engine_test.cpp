// The preparation engine and the redirected path guard against the real file system under Wine, with one
// chosen file call failing where a test asks for it.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/xpress.h"
#include "core/failure.h"
#include "core/messages.h"
#include "core/sha256.h"
#include "failure_text.h"
#include "fake_file_calls.h"
#include "prepare/prepare_runtime.h"
#include "prepare/redirect_guard.h"

namespace lomar {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string WithError(const wchar_t* text, DWORD error) { return ToUtf8(WithWindowsError(text, error)); }

TEST(RefuseRedirectedPath, TestsTheBaseThenEachElementJoinedOnInTurn) {
  struct Case {
    const wchar_t* base;
    const wchar_t* relative;
    std::vector<std::wstring> tested;
  };
  const Case cases[] = {
      {L"D:\\games\\portable\\.lomar-runtime", L"assets/fonts/a.ttf",
       {L"D:\\games\\portable\\.lomar-runtime", L"D:\\games\\portable\\.lomar-runtime\\assets",
        L"D:\\games\\portable\\.lomar-runtime\\assets\\fonts", L"D:\\games\\portable\\.lomar-runtime\\assets\\fonts\\a.ttf"}},
      {L"C:\\g\\data", L"", {L"C:\\g\\data"}},
      {L"C:\\", L"x.dll", {L"C:\\", L"C:\\x.dll"}},
      {L"C:\\g", L"a//b", {L"C:\\g", L"C:\\g\\a", L"C:\\g\\a\\b"}},
      {L"C:\\g", L"a\\b.portable-new", {L"C:\\g", L"C:\\g\\a", L"C:\\g\\a\\b.portable-new"}},
      {L"C:\\g", L"a/", {L"C:\\g", L"C:\\g\\a", L"C:\\g\\a\\"}},
  };
  for (const Case& c : cases) {
    fake::Reset();
    EXPECT_EQ(FailureText([&] { RefuseRedirectedPath(c.base, c.relative); }), "") << ToUtf8(c.relative);
    EXPECT_EQ(fake::Calls().attributePaths, c.tested) << ToUtf8(c.relative);
  }
}

TEST(RefuseRedirectedPath, StopsAtTheFirstReparsePointWhateverElseItIs) {
  const std::wstring base = L"C:\\g\\.lomar-runtime";
  struct Case {
    DWORD attributes;  // of base\a
    bool refused;
  };
  const Case cases[] = {
      {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, true},  // a junction or folder link
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, true},    // a file link
      {FILE_ATTRIBUTE_DIRECTORY, false},
      {FILE_ATTRIBUTE_ARCHIVE, false},  // a file where a folder was expected passes here
      {INVALID_FILE_ATTRIBUTES, false},  // missing, denied, invalid: all pass
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::PretendAttributes({{base, FILE_ATTRIBUTE_DIRECTORY}, {base + L"\\a", c.attributes}});
    EXPECT_EQ(FailureText([&] { RefuseRedirectedPath(base, L"a/b/c"); }),
              c.refused ? ToUtf8(msg::redirectedPath) : "") << c.attributes;
    EXPECT_EQ(fake::Calls().attributePaths.size(), c.refused ? 2u : 4u) << c.attributes;
  }
}

// A package in memory, its entries pointing into streams the fixture holds.
class PrepareRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    dir_ = fs::path(temp) / ("lomar-prepare-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(dir_);
    runtime_ = (dir_ / ".lomar-runtime").native();
    fake::Reset();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // An entry whose stream holds `stored` (the content's own stream unless given).
  void Add(const std::wstring& name, const Bytes& content, std::optional<Bytes> stored = std::nullopt,
           std::optional<std::uint64_t> unpacked = std::nullopt) {
    streams_.push_back(std::make_unique<Bytes>(stored ? *stored : xpress::Compress(content, {xpress::Level::fast, 1})));
    PackageEntry entry;
    entry.name = name;
    entry.unpackedSize = unpacked ? *unpacked : content.size();
    entry.digest = Sha256Of(content);
    entry.storedData = streams_.back()->data();
    entry.storedSize = streams_.back()->size();
    entries_.push_back(std::move(entry));
  }

  std::string Prepare() {
    return FailureText([&] {
      const ShaProvider sha;
      PrepareRuntime(runtime_, entries_, sha, false);
    });
  }

  Bytes Read(const std::wstring& name) {
    std::ifstream in(fs::path(runtime_) / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Put(const std::wstring& name, const Bytes& content) {
    fs::create_directories((fs::path(runtime_) / name).parent_path());
    std::ofstream(fs::path(runtime_) / name, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                                      static_cast<std::streamsize>(content.size()));
  }
  bool Exists(const std::wstring& name) { return fs::exists(fs::path(runtime_) / name); }

  fs::path dir_;
  std::wstring runtime_;
  std::vector<std::unique_ptr<Bytes>> streams_;
  PackageView entries_;
};

TEST_F(PrepareRuntimeTest, WritesWhatIsMissingOrDifferentAndNothingOnTheSecondRun) {
  Add(L"LOMARVesperon.exe", Of("MZ game"));
  Add(L"assets/fonts/a.ttf", Bytes(100000, 7));
  Add(L"empty.txt", {});
  ASSERT_EQ(Prepare(), "");
  EXPECT_EQ(Read(L"LOMARVesperon.exe"), Of("MZ game"));
  EXPECT_EQ(Read(L"assets/fonts/a.ttf"), Bytes(100000, 7));
  EXPECT_TRUE(Exists(L"empty.txt") && Read(L"empty.txt").empty());
  EXPECT_EQ(fake::Calls().calls.at("Move"), 3);
  EXPECT_FALSE(Exists(L"assets/fonts/a.ttf.portable-new"));

  fake::Reset();
  Put(L"saves/slot1.sav", Of("mine"));
  ASSERT_EQ(Prepare(), "");
  for (const char* call : {"Delete", "Create", "Write", "Move"}) EXPECT_EQ(fake::Calls().calls.count(call), 0u) << call;
  EXPECT_EQ(Read(L"saves/slot1.sav"), Of("mine"));

  // One byte changed, a file cut short, a file gone: each written again, and only those.
  Bytes changed(100000, 7);
  changed[500] = 8;
  Put(L"assets/fonts/a.ttf", changed);
  Put(L"LOMARVesperon.exe", Of("MZ ga"));
  fs::remove(fs::path(runtime_) / L"empty.txt");
  fake::Reset();
  ASSERT_EQ(Prepare(), "");
  EXPECT_EQ(fake::Calls().calls.at("Move"), 3);
  EXPECT_EQ(Read(L"assets/fonts/a.ttf"), Bytes(100000, 7));
  EXPECT_EQ(Read(L"LOMARVesperon.exe"), Of("MZ game"));
}

// Each file call that fails ends the run with its message and the Windows error it failed with, and the
// target keeps its old content.
TEST_F(PrepareRuntimeTest, EachFailingFileCallReachesTheUserWithItsErrorNumber) {
  struct Case {
    fake::Fault fault;
    std::string message;
  };
  const std::string standard = ToUtf8(msg::standardException);
  const Case cases[] = {
      {{"Delete", ERROR_ACCESS_DENIED}, WithError(msg::cannotRemoveInterrupted, 5)},
      {{"Create", ERROR_DISK_FULL}, WithError(msg::cannotWriteBeside, 112)},
      {{"Write", ERROR_DISK_FULL}, WithError(msg::cannotWriteRuntime, 112)},
      {{"Flush", ERROR_WRITE_FAULT}, WithError(msg::cannotWriteRuntime, 29)},
      {{"Move", ERROR_SHARING_VIOLATION}, WithError(msg::cannotUpdateRuntime, 32)},
      {{"AttributesAndSize", ERROR_ACCESS_DENIED}, standard},
      {{"AttributesAndSize", ERROR_CANT_RESOLVE_FILENAME}, standard},
  };
  Add(L"LOMARVesperon.exe", Of("MZ new game"));
  for (const Case& c : cases) {
    Put(L"LOMARVesperon.exe", Of("MZ old game"));
    fake::Reset(c.fault);
    EXPECT_EQ(Prepare(), c.message) << c.fault.call;
    EXPECT_EQ(Read(L"LOMARVesperon.exe"), Of("MZ old game")) << c.fault.call;
  }
  fake::Reset({"Write", 0, true});
  EXPECT_EQ(Prepare().rfind(ToUtf8(msg::cannotWriteRuntime) + " (Windows error ", 0), 0u);
  // A failed write leaves its staging file, which the next run removes before it writes again.
  EXPECT_TRUE(Exists(L"LOMARVesperon.exe.portable-new"));
  fake::Reset();
  EXPECT_EQ(Prepare(), "");
  EXPECT_EQ(Read(L"LOMARVesperon.exe"), Of("MZ new game"));
  EXPECT_FALSE(Exists(L"LOMARVesperon.exe.portable-new"));
}

// Only absence counts as absence: a missing file or folder is written, anything else that stops the status
// query is reported and nothing is written.
TEST_F(PrepareRuntimeTest, AStatusQueryFailsOnlyAsAbsenceForAMissingFileOrFolder) {
  Add(L"LOMARVesperon.exe", Of("MZ"));
  for (DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND}) {
    fake::Reset({"AttributesAndSize", error});
    EXPECT_EQ(Prepare(), "") << error;
    EXPECT_EQ(fake::Calls().calls.at("Move"), 1) << error;
  }
}

TEST_F(PrepareRuntimeTest, AStreamThatDoesNotUnpackToItsEntryEndsTheRunWithItsMessage) {
  const Bytes content(5000, 'x');
  const Bytes stream = xpress::Compress(content, {xpress::Level::fast, 1});
  Bytes corrupt = stream;
  corrupt[30] ^= 0xFF;
  corrupt[40] ^= 0xFF;
  const Bytes shorter = xpress::Compress(Bytes(4999, 'x'), {xpress::Level::fast, 1});
  const Bytes longer = xpress::Compress(Bytes(5001, 'x'), {xpress::Level::fast, 1});
  struct Case {
    const char* what;
    Bytes stored;
    Bytes digestOf;
    std::uint64_t unpacked;
    std::string message;
  };
  const Case cases[] = {
      {"corrupt", corrupt, content, 5000, WithError(msg::cannotUnpack, 605)},
      {"declares fewer bytes", shorter, content, 5000, ToUtf8(msg::failedVerification)},
      {"declares more bytes", longer, content, 5000, WithError(msg::cannotUnpack, 122)},
      {"other content", stream, Bytes(5000, 'y'), 5000, ToUtf8(msg::failedVerification)},
      {"empty with stored bytes", stream, {}, 0, ToUtf8(msg::invalidEmptyFile)},
      {"empty, digest of something", {}, Of("x"), 0, ToUtf8(msg::failedVerification)},
  };
  for (const Case& c : cases) {
    entries_.clear();
    Add(L"LOMARVesperon.exe", c.digestOf, c.stored, c.unpacked);
    fake::Reset();
    EXPECT_EQ(Prepare(), c.message) << c.what;
    EXPECT_EQ(fake::Calls().calls.count("Create"), 0u) << c.what;
    EXPECT_FALSE(Exists(L"LOMARVesperon.exe")) << c.what;
  }
}

}  // namespace
}  // namespace lomar
