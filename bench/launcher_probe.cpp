// lomar-launcher-probe: only the work a launcher cannot avoid, on the same bytes, under the same Wine, so
// that the launcher's own cost can be measured against it.
//
//   warm PACKED.exe DIR   read each entry's file under DIR with one ReadFile and digest it with the
//                         processor's SHA extensions: the machine's limit for a start with all up to date
//   cold PACKED.exe DIR [NAME]
//                         unpack each entry (or only NAME) from PACKED.exe's package, digest it, write and
//                         flush it to DIR
//   warm-cng, cold-cng    the same, digesting with one CNG BCryptHash instead (what bounded the launcher
//                         under Wine while it hashed through CNG)
//   window                show the progress window, let it paint, destroy it
//   start FILE GAME.exe   digest FILE, show and destroy the progress window, start GAME.exe and wait for it
//
// A GUI program with the launcher's imports; it exits with 0, or 1 when something fails (or when the
// processor has no SHA extensions, which the probe's figures assume).
#include <windows.h>
#include <bcrypt.h>
#include <commctrl.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "codec/xpress.h"
#include "core/path_text.h"
#include "core/sha256.h"
#include "package/package_loader.h"

namespace {

using namespace lomar;

struct Sha {
  BCRYPT_ALG_HANDLE handle = nullptr;
  bool cng;
  explicit Sha(bool useCng) : cng(useCng) {
    if (cng) BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  }
  ~Sha() {
    if (handle != nullptr) BCryptCloseAlgorithmProvider(handle, 0);
  }
  void Hash(const void* data, std::size_t size) const {
    if (!cng) {
      volatile std::uint8_t first = Sha256Of({static_cast<const std::uint8_t*>(data), size}, Sha256Engine::processor)[0];
      (void)first;
      return;
    }
    UCHAR digest[32];
    BCryptHash(handle, nullptr, 0, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size), digest, 32);
  }
};

// The package of a packed executable, mapped as the launcher's own is.
PackageView Package(const wchar_t* exe) {
  const HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(10));
  const auto* image = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, resource)));
  return LoadPackage(image, SizeofResource(module, resource));
}

// One buffer for every entry, as large as the largest: fresh pages for each file would cost the probe a
// fault per page, work the launcher need not do either.
std::vector<std::uint8_t> BufferFor(const PackageView& package) {
  std::uint64_t largest = 1;
  for (const PackageEntry& entry : package) largest = std::max(largest, entry.unpackedSize);
  return std::vector<std::uint8_t>(largest);
}

int Warm(const wchar_t* exe, const std::wstring& dir, bool cng) {
  const Sha sha(cng);
  const PackageView package = Package(exe);
  std::vector<std::uint8_t> buffer = BufferFor(package);
  for (const PackageEntry& entry : package) {
    const HANDLE file = CreateFileW(JoinPath(dir, entry.name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    DWORD got = 0;
    if (file == INVALID_HANDLE_VALUE ||
        !ReadFile(file, buffer.data(), static_cast<DWORD>(entry.unpackedSize), &got, nullptr))
      return 1;
    CloseHandle(file);
    sha.Hash(buffer.data(), got);
  }
  return 0;
}

int Cold(const wchar_t* exe, const std::wstring& dir, const wchar_t* only, bool cng) {
  const Sha sha(cng);
  const PackageView package = Package(exe);
  std::vector<std::uint8_t> whole = BufferFor(package);
  for (const PackageEntry& entry : package) {
    if (only != nullptr && entry.name != only) continue;
    const std::span<std::uint8_t> buffer(whole.data(), static_cast<std::size_t>(entry.unpackedSize));
    if (entry.unpackedSize != 0 &&
        xpress::Decompress({entry.storedData, static_cast<std::size_t>(entry.storedSize)}, buffer).status !=
            xpress::DecodeStatus::ok)
      return 1;
    sha.Hash(buffer.data(), buffer.size());
    const std::wstring path = JoinPath(dir, entry.name);
    for (std::size_t at = dir.size() + 1; (at = path.find(L'/', at)) != std::wstring::npos; ++at)
      CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &written, nullptr) ||
        !FlushFileBuffers(file))
      return 1;
    CloseHandle(file);
  }
  return 0;
}

void ShowWindowOnce() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  const HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME, L"STATIC", L"LOMAR Vesperon - preparing portable game",
                                      WS_VISIBLE | WS_CAPTION | WS_SYSMENU, (GetSystemMetrics(SM_CXSCREEN) - 490) / 2,
                                      (GetSystemMetrics(SM_CYSCREEN) - 140) / 2, 490, 140, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  CreateWindowExW(0, L"STATIC", L"Checking and preparing files beside the portable executable...",
                  WS_CHILD | WS_VISIBLE, 18, 18, 450, 25, window, nullptr, nullptr, nullptr);
  const HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 18, 55, 440, 22, window, nullptr,
                                   nullptr, nullptr);
  UpdateWindow(window);
  for (WPARAM position : {0, 100}) {
    SendMessageW(bar, PBM_SETPOS, position, 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  DestroyWindow(window);
}

int Start(const wchar_t* file, const wchar_t* game) {
  const Sha sha(false);
  const HANDLE handle = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::vector<std::uint8_t> buffer(GetFileSize(handle, nullptr));
  DWORD got = 0;
  ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
  CloseHandle(handle);
  sha.Hash(buffer.data(), got);
  ShowWindowOnce();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::wstring commandLine = L"\"" + std::wstring(game) + L"\"";
  if (!CreateProcessW(game, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) return 1;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  const std::wstring mode = count > 1 ? args[1] : L"";
  if (!Sha256ProcessorEngineAvailable()) return 1;
  const bool cng = mode.ends_with(L"-cng");
  if ((mode == L"warm" || mode == L"warm-cng") && count == 4) return Warm(args[2], args[3], cng);
  if ((mode == L"cold" || mode == L"cold-cng") && (count == 4 || count == 5))
    return Cold(args[2], args[3], count == 5 ? args[4] : nullptr, cng);
  if (mode == L"window") return ShowWindowOnce(), 0;
  if (mode == L"start" && count == 4) return Start(args[2], args[3]);
  return 1;
}
