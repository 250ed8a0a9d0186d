// lomar-pack: makes the one portable executable from a game folder and the launcher stub, and reads it back.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "lomar/version.h"
#include "pack/commands.h"
#include "pack/tool_error.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const char* usage =
    "usage: lomar-pack COMMAND ...\n"
    "\n"
    "  build GAME_DIR --output OUT.exe [--launcher STUB.exe] [--level fast|max] [--threads N]\n"
    "                 [--icon GAME.ico] [--blocks platform|split] [--exclude GLOB]... [--json]\n"
    "                 [--product-name TEXT] [--product-version V] [--file-version V] [...]\n"
    "                     pack a game folder into one portable executable\n"
    "  list FILE [--json] the entries of a packed executable or package, with sizes and digests\n"
    "  verify FILE        check a packed executable or package as the launcher would, entry by entry\n"
    "  extract FILE DIR [--force]\n"
    "                     write every entry under DIR\n"
    "  diff OLD NEW [--json]\n"
    "                     what changed between two builds, and the bytes an update unpacks for a player\n"
    "  --version          the packer's name and version\n"
    "\n"
    "lomar-pack COMMAND --help says more. Exit status: 0 done, 1 failed (one message on standard error\n"
    "naming the file), 2 misused (a one-line hint).\n";

int Run(const std::vector<std::string>& args) {
  using namespace lomar::pack;
  if (args.empty()) throw UsageError{"no command given (see: lomar-pack --help)"};
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(usage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::fputs("lomar-pack " LOMAR_VERSION "\n", stdout);
    return 0;
  }
  const std::span<const std::string> rest(args.data() + 1, args.size() - 1);
  if (command == "build") return Build(rest);
  if (command == "list") return List(rest);
  if (command == "verify") return Verify(rest);
  if (command == "extract") return Extract(rest);
  if (command == "diff") return Diff(rest);
  throw UsageError{"unknown command " + command + " (see: lomar-pack --help)"};
}

int Main(const std::vector<std::string>& args) {
  try {
    return Run(args);
  } catch (const lomar::pack::UsageError& e) {
    std::fprintf(stderr, "lomar-pack: %s\n", e.message.c_str());
    return 2;
  } catch (const lomar::pack::ToolError& e) {
    std::fprintf(stderr, "lomar-pack: %s\n", e.message.c_str());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fputs("lomar-pack: not enough memory\n", stderr);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lomar-pack: %s\n", e.what());
    return 1;
  }
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16 and are carried as UTF-8, the packer's text everywhere.
int wmain(int argc, wchar_t** argv) {
  // Messages name files in UTF-8.
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), length, nullptr, nullptr);
    arg.resize(arg.size() - 1);
    args.push_back(std::move(arg));
  }
  return Main(args);
}
#else
int main(int argc, char** argv) { return Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
