// lomar-fake-game: a stand-in for the game, packed as LOMARVesperon.exe by the black-box tests. A GUI
// program, so that it gets no console handles of its own and shows exactly which standard handles the
// launcher gave it. What it does is told through its environment, which the launcher passes on:
//
//   LOMAR_TEST_REPORT  a file to write what it received to, as JSON: "args" (CommandLineToArgvW of its
//                      command line), "env" (its whole environment block in order), "cwd", and "stdin",
//                      "stdout", "stderr" (null, or the handle's GetFileType)
//   LOMAR_TEST_HOLD    a file to wait for before it exits, so that a test can hold it running
//   LOMAR_TEST_EXIT    its exit code, unsigned decimal (default 0)
//
// It writes "LOMAR test game ran\n" to its standard output when it has one.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring Variable(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

// Every code unit that is not printable ASCII as \uXXXX, so that the report holds any UTF-16 exactly,
// unpaired surrogates included.
std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != L'"' && c != L'\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    }
  }
  return out + "\"";
}

std::string Handle(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return "null";
  return std::to_string(GetFileType(handle));
}

void Report(const std::wstring& path) {
  std::string json = "{\"args\": [";
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 0; i < count; ++i) json += (i ? ", " : "") + Json(args[i]);
  LocalFree(args);
  json += "], \"env\": [";
  wchar_t* block = GetEnvironmentStringsW();
  bool first = true;
  for (const wchar_t* at = block; *at != 0; at += wcslen(at) + 1) {
    json += (first ? "" : ", ") + Json(at);
    first = false;
  }
  FreeEnvironmentStringsW(block);
  wchar_t cwd[32768];
  const DWORD length = GetCurrentDirectoryW(32768, cwd);
  json += "], \"cwd\": " + Json(std::wstring(cwd, length));
  json += ", \"stdin\": " + Handle(STD_INPUT_HANDLE) + ", \"stdout\": " + Handle(STD_OUTPUT_HANDLE) +
          ", \"stderr\": " + Handle(STD_ERROR_HANDLE) + "}\n";
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, json.data(), static_cast<DWORD>(json.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  const std::wstring report = Variable(L"LOMAR_TEST_REPORT");
  if (!report.empty()) Report(report);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output != nullptr && output != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(output, "LOMAR test game ran\n", 20, &written, nullptr);
  }
  const std::wstring hold = Variable(L"LOMAR_TEST_HOLD");
  for (int waited = 0; !hold.empty() && waited < 120000; waited += 20) {
    if (GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(20);
  }
  const std::wstring code = Variable(L"LOMAR_TEST_EXIT");
  ExitProcess(code.empty() ? 0 : static_cast<UINT>(std::stoul(code)));
}
