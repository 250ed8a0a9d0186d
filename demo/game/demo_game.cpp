// The demo game: what a portable LOMAR Vesperon would start, small enough to read. It shows what it
// received from the launcher (its arguments, LOMAR_PORTABLE_ROOT, its working folder and the files of its
// runtime folder) in a window, and on standard output when it has one, then closes by itself.
//
//   --close-after SECONDS   close the window after this long (default 5; 0: as soon as it has shown)
//   --exit-code N           the exit status to end with (default 0)
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::wstring Variable(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length > 0 && length < 32768 ? std::wstring(value, length) : L"(not set)";
}

std::wstring OwnFolder() {
  wchar_t path[32768];
  const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

// Every file below the folder, with its size, as "relative\name (N bytes)".
void ListFiles(const std::wstring& folder, const std::wstring& prefix, std::vector<std::wstring>& lines) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(folder + L"\\" + name, prefix + name + L"\\", lines);
    } else {
      const unsigned long long size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      lines.push_back(L"  " + prefix + name + L" (" + std::to_wstring(size) + L" bytes)");
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

std::wstring Report(int argc, wchar_t** argv) {
  std::vector<std::wstring> lines = {L"LOMAR Vesperon (demo) is running.", L"", L"Arguments:"};
  for (int i = 1; i < argc; ++i) lines.push_back(L"  [" + std::to_wstring(i) + L"] \"" + argv[i] + L"\"");
  if (argc <= 1) lines.push_back(L"  (none)");
  lines.push_back(L"LOMAR_PORTABLE_ROOT: " + Variable(L"LOMAR_PORTABLE_ROOT"));
  wchar_t cwd[32768];
  lines.push_back(L"Working folder: " + std::wstring(cwd, GetCurrentDirectoryW(32768, cwd)));
  lines.push_back(L"Runtime folder: " + OwnFolder());
  ListFiles(OwnFolder(), L"", lines);
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\r\n";
  return text;
}

void WriteToStandardOutput(const std::wstring& text) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(output, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void ShowFor(const std::wstring& text, unsigned seconds) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"LOMARVesperonDemo";
  RegisterClassW(&windowClass);
  const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"LOMAR Vesperon (demo)",
                                      WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 720, 480,
                                      nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return;  // no display: standard output has said it all
  RECT client;
  GetClientRect(window, &client);
  CreateWindowExW(0, L"EDIT", text.c_str(), WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0, 0,
                  client.right, client.bottom, window, nullptr, windowClass.hInstance, nullptr);
  SetTimer(window, 1, seconds * 1000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  unsigned closeAfter = 5;
  UINT exitCode = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::wstring(argv[i]) == L"--close-after") closeAfter = static_cast<unsigned>(_wtoi(argv[i + 1]));
    if (std::wstring(argv[i]) == L"--exit-code") exitCode = static_cast<UINT>(wcstoul(argv[i + 1], nullptr, 10));
  }
  const std::wstring report = Report(argc, argv);
  WriteToStandardOutput(report);
  ShowFor(report, closeAfter);
  LocalFree(argv);
  return static_cast<int>(exitCode);
}
