#include "launch/launch_game.h"

#include <windows.h>

#include "core/check_windows.h"
#include "core/handle.h"
#include "core/messages.h"
#include "launch/command_line.h"
#include "launch/environment_block.h"

namespace lomar {
namespace {

Text BuildChildEnvironment(TextView exeDir) {
  struct Block {
    wchar_t* strings = GetEnvironmentStringsW();
    ~Block() {
      if (strings != nullptr) FreeEnvironmentStringsW(strings);
    }
  } block;
  CheckWindows(block.strings != nullptr, msg::cannotReadEnvironment);
  return ChildEnvironmentBlock(SplitEnvironmentBlock(block.strings), exeDir);
}

}  // namespace

std::uint32_t LaunchGame(TextView gameExe, TextView exeDir, int argc, const wchar_t* const* argv) {
  Text commandLine = GameCommandLine(gameExe, argc, argv);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  // Whether to hand the standard handles on is decided by standard output alone.
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output != nullptr && output != INVALID_HANDLE_VALUE) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }

  // Taken after the command line, so that it is the environment at the moment of the launch.
  Text environment = BuildChildEnvironment(exeDir);
  const Text application(gameExe);
  PROCESS_INFORMATION started{};
  // Inheritance carries the standard handles named above; the launcher holds no other inheritable handle.
  const BOOL created = CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup, &started);
  CheckWindows(created != FALSE, msg::cannotLaunch);
  const Handle process{started.hProcess};
  const Handle thread{started.hThread};
  CheckWindows(WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0, msg::cannotWait);
  DWORD exitCode = 0;
  CheckWindows(GetExitCodeProcess(process.Get(), &exitCode) != FALSE, msg::cannotReadExitStatus);
  return exitCode;
}

}  // namespace lomar
