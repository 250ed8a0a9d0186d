// lomar-testkit: a small Windows program the black-box tests run under Wine to
// see what Linux cannot: the full 32-bit exit code, the launcher's windows and
// message boxes, and the package resource of an executable.
//
//   run [--answer-box] [--close-window TITLE] [--close-after N | --close-at-progress P]
//       [--no-std-handles]
//       [--stdin S] [--stdout S] [--stderr S] [--command-line TEXT]
//       [--watch-progress] [--time-window TITLE] PROGRAM [ARGS...]
//   set-resource EXE FILE      attach FILE's bytes as RT_RCDATA 101
//   remove-resource EXE        drop RT_RCDATA 101
//   hold-event NAME FILE       hold an event object of that name until FILE exists
//   version-info FILE          what Windows' own version calls read from FILE (see VersionInfo)
//
// S is "null" or "file:PATH": the program gets exactly these standard handles (the others inherit the
// kit's own). --command-line hands the program TEXT as its whole command line, unquoted. Without
// --answer-box, a message box is still reported, once, but left for the program to wait on.
//
// `run` prints, one per line on standard output (UTF-8):
//   window: TITLE        each distinct top-level window title the program showed
//   box-caption: TEXT    a message box it showed, and
//   box-text: TEXT       its text; the box is then answered with OK
//   box-beside: TITLE    another of its windows still there when a box appeared
//   closed: TITLE        the window it was asked to close, once closed
//   progress: N          each new position of a progress bar in its windows
//   window-after-ms: N   milliseconds from process creation to the timed window
//   exit: N              the program's exit code, unsigned decimal
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;  // the static text control of every message box

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

void Say(const std::string& key, const std::wstring& value) {
  std::string line = key + ": " + Utf8(value) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// The quoting that CommandLineToArgvW undoes, so the program sees our arguments unchanged.
std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, L'\\');
  return out + L"\"";
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096] = {};
  GetWindowTextW(window, buffer, 4096);
  return buffer;
}

struct Watch {
  DWORD processId = 0;
  bool answerBox = false;
  std::wstring closeTitle;
  int closeAfter = 0;  // update steps (polls that see the window) to let pass first
  long closeAtProgress = -1;  // or: close once its progress bar stands at least here
  int seenClose = 0;
  bool closed = false;
  bool watchProgress = false;
  long lastProgress = -1;
  std::wstring timedTitle;
  ULONGLONG startedAt = 0;
  bool timed = false;
  std::set<std::wstring> titles;
  std::set<HWND> answered;
};

struct Children {
  std::vector<HWND> bars;
};

BOOL CALLBACK VisitChild(HWND child, LPARAM context) {
  wchar_t className[64] = {};
  GetClassNameW(child, className, 64);
  if (std::wstring(className) == PROGRESS_CLASSW) reinterpret_cast<Children*>(context)->bars.push_back(child);
  return TRUE;
}

// The other visible windows of the process, at the moment a box shows.
BOOL CALLBACK VisitBeside(HWND window, LPARAM context) {
  auto& watch = *reinterpret_cast<Watch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != watch.processId || !IsWindowVisible(window)) return TRUE;
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (std::wstring(className) != L"#32770") Say("box-beside", WindowText(window));
  return TRUE;
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM context) {
  auto& watch = *reinterpret_cast<Watch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != watch.processId || !IsWindowVisible(window)) return TRUE;
  const std::wstring title = WindowText(window);
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  const bool isDialog = std::wstring(className) == L"#32770";
  if (isDialog) {
    if (!watch.answered.count(window)) {
      wchar_t text[4096] = {};
      GetDlgItemTextW(window, kMessageBoxTextId, text, 4096);
      Say("box-caption", title);
      Say("box-text", text);
      EnumWindows(VisitBeside, context);
      watch.answered.insert(window);
      if (watch.answerBox) PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return TRUE;
  }
  if (watch.titles.insert(title).second) Say("window", title);
  if (!watch.timed && !watch.timedTitle.empty() && title == watch.timedTitle) {
    watch.timed = true;
    Say("window-after-ms", std::to_wstring(GetTickCount64() - watch.startedAt));
  }
  long position = -1;
  if (watch.watchProgress || watch.closeAtProgress >= 0) {
    Children children;
    EnumChildWindows(window, VisitChild, reinterpret_cast<LPARAM>(&children));
    for (HWND bar : children.bars) {
      // A bar destroyed while it is asked answers nothing, which is not a position.
      DWORD_PTR answer = 0;
      if (SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) == 0 || !IsWindow(bar)) continue;
      position = static_cast<long>(answer);
      if (watch.watchProgress && position != watch.lastProgress) {
        watch.lastProgress = position;
        Say("progress", std::to_wstring(position));
      }
    }
  }
  if (!watch.closeTitle.empty() && !watch.closed && title == watch.closeTitle) {
    // A count of polls depends on how fast the program runs; a position of the bar does not.
    const bool due = watch.closeAtProgress >= 0 ? position >= watch.closeAtProgress : watch.seenClose++ >= watch.closeAfter;
    if (due) {
      PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      watch.closed = true;
      Say("closed", title);
    }
  }
  return TRUE;
}

// "null", or "file:PATH" opened for writing (created) or, for standard input, reading.
HANDLE StandardHandle(const std::wstring& spec, bool input) {
  if (spec == L"null") return nullptr;
  if (spec.rfind(L"file:", 0) != 0) return INVALID_HANDLE_VALUE;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(spec.substr(5).c_str(), input ? GENERIC_READ : GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inheritable, input ? OPEN_EXISTING : CREATE_ALWAYS, 0, nullptr);
}

int Run(std::vector<std::wstring> args) {
  Watch watch;
  bool passStdHandles = true;
  std::wstring handleSpecs[3];  // input, output, error
  std::wstring exactCommandLine;
  bool exact = false;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    if (args[i] == L"--answer-box") {
      watch.answerBox = true;
    } else if (args[i] == L"--close-window" && i + 1 < args.size()) {
      watch.closeTitle = args[++i];
    } else if (args[i] == L"--close-after" && i + 1 < args.size()) {
      watch.closeAfter = std::stoi(args[++i]);
    } else if (args[i] == L"--close-at-progress" && i + 1 < args.size()) {
      watch.closeAtProgress = std::stol(args[++i]);
    } else if (args[i] == L"--no-std-handles") {
      passStdHandles = false;
    } else if ((args[i] == L"--stdin" || args[i] == L"--stdout" || args[i] == L"--stderr") && i + 1 < args.size()) {
      const int which = args[i] == L"--stdin" ? 0 : args[i] == L"--stdout" ? 1 : 2;
      handleSpecs[which] = args[++i];
    } else if (args[i] == L"--command-line" && i + 1 < args.size()) {
      exactCommandLine = args[++i];
      exact = true;
    } else if (args[i] == L"--watch-progress") {
      watch.watchProgress = true;
    } else if (args[i] == L"--time-window" && i + 1 < args.size()) {
      watch.timedTitle = args[++i];
    } else {
      break;
    }
  }
  if (i >= args.size()) {
    std::fputs("run: no program given\n", stderr);
    return 2;
  }
  std::wstring commandLine = Quote(args[i]);
  for (std::size_t k = i + 1; k < args.size(); ++k) commandLine += L" " + Quote(args[k]);
  if (exact) commandLine = exactCommandLine;

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (passStdHandles) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE* slots[3] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
    for (int k = 0; k < 3; ++k) {
      if (handleSpecs[k].empty()) continue;
      *slots[k] = StandardHandle(handleSpecs[k], k == 0);
      if (*slots[k] == INVALID_HANDLE_VALUE) {
        std::fputs("run: a standard handle is \"null\" or \"file:PATH\" that can be opened\n", stderr);
        return 2;
      }
    }
    for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
      if (h != nullptr && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  PROCESS_INFORMATION process{};
  watch.startedAt = GetTickCount64();
  if (!CreateProcessW(args[i].c_str(), commandLine.data(), nullptr, nullptr, passStdHandles, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "run: cannot start the program (Windows error %lu)\n", GetLastError());
    return 2;
  }
  watch.processId = process.dwProcessId;
  // Polled rather than hooked: the windows belong to another process. Until a timed window shows, the
  // polls come every millisecond.
  for (;;) {
    const DWORD wait = !watch.timedTitle.empty() && !watch.timed ? 1 : 25;
    if (WaitForSingleObject(process.hProcess, wait) != WAIT_TIMEOUT) break;
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&watch));
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  Say("exit", std::to_wstring(code));
  return 0;
}

int SetResource(const std::wstring& exe, const std::wstring* file) {
  std::vector<char> bytes;
  if (file != nullptr) {
    std::ifstream in(std::filesystem::path(*file), std::ios::binary);
    if (!in) {
      std::fputs("set-resource: cannot read the file\n", stderr);
      return 2;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
  if (update == nullptr) {
    std::fprintf(stderr, "resource: cannot open the executable (Windows error %lu)\n", GetLastError());
    return 2;
  }
  const BOOL ok = UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(101),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), file ? bytes.data() : nullptr,
                                  static_cast<DWORD>(bytes.size()));
  if (!ok || !EndUpdateResourceW(update, FALSE)) {
    std::fprintf(stderr, "resource: cannot update the executable (Windows error %lu)\n", GetLastError());
    return 2;
  }
  return 0;
}

// An object of another kind under a name the launcher wants for its mutex.
int HoldEvent(const std::wstring& name, const std::wstring& until) {
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  if (event == nullptr) {
    std::fprintf(stderr, "hold-event: cannot create it (Windows error %lu)\n", GetLastError());
    return 2;
  }
  Say("holding", name);
  while (GetFileAttributesW(until.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(20);
  CloseHandle(event);
  return 0;
}

// Printed, one per line: "file-version: A.B.C.D", "product-version: A.B.C.D", "translation: LLLLCCCC"
// (the first one, lower-case hex), then "string: NAME=VALUE" for each string of that translation's table
// among the names Windows documents.
int VersionInfo(const std::wstring& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) {
    std::fprintf(stderr, "version-info: no version information (Windows error %lu)\n", GetLastError());
    return 2;
  }
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) {
    std::fprintf(stderr, "version-info: cannot read it (Windows error %lu)\n", GetLastError());
    return 2;
  }
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    const auto dotted = [](DWORD ms, DWORD ls) {
      return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." + std::to_wstring(HIWORD(ls)) +
             L"." + std::to_wstring(LOWORD(ls));
    };
    Say("file-version", dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
    Say("product-version", dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  }
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) return 0;
  const auto* translation = static_cast<const WORD*>(value);
  wchar_t table[9] = {};
  std::swprintf(table, 9, L"%04x%04x", translation[0], translation[1]);
  Say("translation", table);
  for (const wchar_t* name : {L"Comments", L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                              L"LegalCopyright", L"LegalTrademarks", L"OriginalFilename", L"PrivateBuild",
                              L"ProductName", L"ProductVersion", L"SpecialBuild"}) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
    if (VerQueryValueW(data.data(), path.c_str(), &value, &length))
      Say("string", std::wstring(name) + L"=" + static_cast<const wchar_t*>(value));
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == L"run") return Run({args.begin() + 1, args.end()});
  if (args.size() == 3 && args[0] == L"set-resource") return SetResource(args[1], &args[2]);
  if (args.size() == 2 && args[0] == L"remove-resource") return SetResource(args[1], nullptr);
  if (args.size() == 3 && args[0] == L"hold-event") return HoldEvent(args[1], args[2]);
  if (args.size() == 2 && args[0] == L"version-info") return VersionInfo(args[1]);
  std::fputs("usage: lomar-testkit run [--answer-box] [--close-window TITLE] [--close-after N | --close-at-progress P] "
             "[--no-std-handles] [--stdin S] [--stdout S] [--stderr S] [--command-line TEXT] [--watch-progress] "
             "[--time-window TITLE] PROGRAM [ARGS...]\n"
             "       lomar-testkit set-resource EXE FILE | remove-resource EXE | hold-event NAME FILE\n"
             "       lomar-testkit version-info FILE\n",
             stderr);
  return 2;
}
