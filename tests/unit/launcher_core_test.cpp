#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <system_error>

#include "core/failure.h"
#include "launcher/folders.h"
#include "core/messages.h"

namespace lomar {
namespace {

TEST(WindowsErrorSuffix, WritesTheErrorInUnsignedDecimal) {
  struct Case {
    std::uint32_t error;
    const Unit* expected;
  };
  const Case cases[] = {
      {5, LT("Cannot write the portable runtime (Windows error 5).")},
      {0, LT("Cannot write the portable runtime (Windows error 0).")},
      {4294967295u, LT("Cannot write the portable runtime (Windows error 4294967295).")},
      {1234567, LT("Cannot write the portable runtime (Windows error 1234567).")},
  };
  for (const Case& c : cases) EXPECT_EQ(WithWindowsError(msg::cannotWriteRuntime, c.error), c.expected);
}

TEST(FailureMessage, ShowsAFailureAsItsOwnSentence) {
  EXPECT_EQ(TextView(FailureMessage(std::make_exception_ptr(Failure{msg::alreadyRunning}))), msg::alreadyRunning);
}

TEST(FailureMessage, HidesEveryStandardExceptionBehindOneFixedText) {
  const std::exception_ptr caught[] = {
      std::make_exception_ptr(std::filesystem::filesystem_error(
          "create_directories", std::filesystem::path("x"), std::make_error_code(std::errc::file_exists))),
      std::make_exception_ptr(std::bad_alloc()),
      std::make_exception_ptr(std::length_error("basic_string")),
      std::make_exception_ptr(std::ios_base::failure("stream")),
  };
  for (const auto& e : caught) EXPECT_EQ(TextView(FailureMessage(e)), msg::standardException);
}

TEST(FailureMessage, LetsAnythingElsePass) {
  EXPECT_THROW(FailureMessage(std::make_exception_ptr(42)), int);
}

TEST(FolderOfModulePath, CutsTheFileNameAndTheSeparatorsBeforeIt) {
  struct Case {
    const Unit* modulePath;
    const Unit* folder;
  };
  const Case cases[] = {
      {LT("C:\\Games\\LOMAR\\launcher.exe"), LT("C:\\Games\\LOMAR")},
      {LT("C:\\launcher.exe"), LT("C:\\")},
      {LT("C:/launcher.exe"), LT("C:/")},
      {LT("C:\\Games\\\\launcher.exe"), LT("C:\\Games")},
      {LT("C:\\\\launcher.exe"), LT("C:\\")},
      {LT("D:\\My Games\\Lomar Vesperon\\x.exe"), LT("D:\\My Games\\Lomar Vesperon")},
      {LT("\\\\server\\share\\x.exe"), LT("\\\\server\\share\\")},
      {LT("\\\\server\\share\\games\\x.exe"), LT("\\\\server\\share\\games")},
      {LT("\\\\?\\C:\\x.exe"), LT("\\\\?\\C:\\")},
      {LT("\\\\?\\C:\\very\\long\\x.exe"), LT("\\\\?\\C:\\very\\long")},
      {LT("\\\\?\\UNC\\server\\share\\x.exe"), LT("\\\\?\\UNC\\server\\share\\")},
      {LT("\\\\?\\UNC\\server\\share\\dir\\x.exe"), LT("\\\\?\\UNC\\server\\share\\dir")},
      {LT("Z:\\MiXeD\\CaSe\\x.exe"), LT("Z:\\MiXeD\\CaSe")},
  };
  for (const Case& c : cases) EXPECT_EQ(FolderOfModulePath(c.modulePath), c.folder) << ToUtf8(c.modulePath);
}

TEST(JoinPath, PutsExactlyOneSeparatorBetween) {
  EXPECT_EQ(JoinPath(LT("C:\\a"), LT("b")), LT("C:\\a\\b"));
  EXPECT_EQ(JoinPath(LT("C:\\"), LT("b")), LT("C:\\b"));
  EXPECT_EQ(JoinPath(LT("C:/a/"), LT("b")), LT("C:/a/b"));
  EXPECT_EQ(JoinPath(LT("C:\\a"), LT("fonts/x.ttf")), LT("C:\\a\\fonts/x.ttf"));
}

TEST(FoldersFor, DerivesEveryFolderFromTheModulePath) {
  const Folders below = FoldersFor(LT("C:\\Games\\LOMAR\\LOMAR-portable.exe"));
  EXPECT_EQ(below.exeDir, LT("C:\\Games\\LOMAR"));
  EXPECT_EQ(below.dataDir, LT("C:\\Games\\LOMAR\\data"));
  EXPECT_EQ(below.runtimeDir, LT("C:\\Games\\LOMAR\\.lomar-runtime"));
  EXPECT_EQ(below.gameExe, LT("C:\\Games\\LOMAR\\.lomar-runtime\\LOMARVesperon.exe"));

  const Folders atRoot = FoldersFor(LT("E:\\LOMAR-portable.exe"));
  EXPECT_EQ(atRoot.exeDir, LT("E:\\"));
  EXPECT_EQ(atRoot.runtimeDir, LT("E:\\.lomar-runtime"));
  EXPECT_EQ(atRoot.gameExe, LT("E:\\.lomar-runtime\\LOMARVesperon.exe"));
}

}  // namespace
}  // namespace lomar
