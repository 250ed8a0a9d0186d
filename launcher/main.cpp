// The launcher's entry point: one straight pass from the command line to the
// exit code, with one failure boundary.
#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <string>

#include "core/failure.h"
#include "core/messages.h"
#include "launch/launch_game.h"
#include "launcher/folder_lock.h"
#include "launcher/folders.h"
#include "launcher/report_failure.h"
#include "package/package_resource.h"
#include "prepare/content_digest.h"
#include "prepare/prepare_runtime.h"
#include "prepare/redirect_guard.h"

namespace lomar {
namespace {

constexpr DWORD kModulePathCapacity = 32768;

struct ArgumentVector {
  int count = 0;
  LPWSTR* values = CommandLineToArgvW(GetCommandLineW(), &count);
  ~ArgumentVector() {
    if (values != nullptr) LocalFree(values);
  }
};

bool IsExtractOnly(const ArgumentVector& args) {
  return args.values != nullptr && args.count == 2 && std::wstring_view(args.values[1]) == L"--extract-only";
}

Text OwnModulePath() {
  Text path(kModulePathCapacity, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), kModulePathCapacity);
  if (length == 0 || length >= kModulePathCapacity) throw Failure{msg::cannotLocateExecutable};
  path.resize(length);
  return path;
}

// Everything the run acquires lives in this scope, so it is released in reverse
// order before the failure boundary reports anything.
int Run(const ArgumentVector& args, bool extractOnly) {
  if (args.values == nullptr) throw Failure{msg::cannotReadArguments};
  const Folders folders = FoldersFor(OwnModulePath());
  const ShaProvider shaProvider;
  // Before anything is read or written: a second launcher from this folder stops here.
  const FolderLock folderLock(folders.exeDir, shaProvider);
  const PackageView package = LoadOwnPackage();
  RefuseRedirectedPath(folders.dataDir, {});
  PrepareRuntime(folders.runtimeDir, package, shaProvider, !extractOnly);
  if (extractOnly) return 0;
  // The lock is held through the game's whole run; its exit status, all 32 bits, is the launcher's.
  return static_cast<int>(LaunchGame(folders.gameExe, folders.exeDir, args.count, args.values));
}

}  // namespace
}  // namespace lomar

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  const lomar::ArgumentVector args;
  const bool extractOnly = lomar::IsExtractOnly(args);
  try {
    return lomar::Run(args, extractOnly);
  } catch (...) {
    return lomar::ReportFailure(std::current_exception(), extractOnly);
  }
}
