// The writer's output held against the real loader: Windows' own resource calls,
// its checksum routine, and the packed program started as a process.
#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "pack/icon_file.h"
#include "pack/pe_writer.h"
#include "tests/unit/pack_test_pe.h"

namespace lomar::pe {
namespace {

using test::Bytes;

std::wstring Beside(const wchar_t* name) {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

Bytes ReadWhole(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  Bytes bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
  CloseHandle(file);
  return bytes;
}

void Save(const std::wstring& path, const PackedImage& image) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  for (const auto piece : image.Pieces()) {
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr));
  }
  CloseHandle(file);
}

std::uint32_t Fnv(std::span<const std::uint8_t> bytes) {
  std::uint32_t hash = 2166136261u;
  for (const std::uint8_t b : bytes) hash = (hash ^ b) * 16777619u;
  return hash;
}

DWORD ExitCodeOf(const std::wstring& path) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ADD_FAILURE() << "CreateProcessW: " << GetLastError();
    return 0;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

LPCWSTR Id(const ResourceName& name) { return name.IsId() ? MAKEINTRESOURCEW(name.Id()) : name.String().c_str(); }

Bytes Found(HMODULE module, LPCWSTR type, LPCWSTR name, std::optional<WORD> language = std::nullopt) {
  const HRSRC resource = language ? FindResourceExW(module, type, name, *language) : FindResourceW(module, name, type);
  if (resource == nullptr) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, resource)));
  return Bytes(bytes, bytes + SizeofResource(module, resource));
}

// Some of the launcher's icon images as an .ico of their own, so that the
// packed icon differs from the one the probe was linked with.
Bytes IcoOf(const Bytes& ico, std::initializer_list<int> images) {
  Bytes out = {0, 0, 1, 0, static_cast<std::uint8_t>(images.size()), 0}, data;
  for (const int i : images) {
    Bytes entry(ico.begin() + 6 + 16 * i, ico.begin() + 22 + 16 * i);
    const auto size = test::Get(entry, 8, 4), offset = test::Get(entry, 12, 4);
    test::Set(entry, 12, 6 + 16 * images.size() + data.size(), 4);
    out.insert(out.end(), entry.begin(), entry.end());
    data.insert(data.end(), ico.begin() + offset, ico.begin() + offset + size);
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

TEST(WriteImage, ThePackedProgramLoadsAndRuns) {
  const Bytes probe = ReadWhole(Beside(L"pack_probe.exe"));
  const Bytes ico = IcoOf(ReadWhole(Beside(L"pack_embed_test.ico")), {1, 3});  // a bitmap and a PNG
  Bytes payload((3 << 20) + 5);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 131 + (i >> 11));
  const PeImage image = ReadImage(probe);
  const std::vector<Resource> original = ReadResources(image);
  std::vector<ResourceInput> resources;
  for (const Resource& r : original) resources.push_back(Keep(r));
  const IconSet icon = ReadIconFile(ico);
  ReplaceIcon(resources, icon);
  resources.push_back({rtRcData, 101, 0, 0, {std::span(payload).first(1 << 20), std::span(payload).subspan(1 << 20)}});
  const std::wstring packedPath = Beside(L"pack_probe_packed.exe");
  Save(packedPath, WriteImage(image, resources));

  DWORD inHeader = 0, computed = 0;
  ASSERT_EQ(MapFileAndCheckSumW(packedPath.c_str(), &inHeader, &computed), static_cast<DWORD>(CHECKSUM_SUCCESS));
  EXPECT_EQ(inHeader, computed);

  const HMODULE module =
      LoadLibraryExW(packedPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(Found(module, MAKEINTRESOURCEW(rtRcData), MAKEINTRESOURCEW(101), 0), payload);
  int kept = 0;
  for (const Resource& r : original) {
    if (r.type == ResourceName(rtIcon) || r.type == ResourceName(rtGroupIcon)) continue;
    ++kept;
    EXPECT_EQ(Found(module, Id(r.type), Id(r.name), r.language), Bytes(r.data.begin(), r.data.end()))
        << test::Describe(r);
  }
  EXPECT_EQ(kept, 3);  // RCDATA 7, LOMARTEST "NAMED", the version

  const Bytes group = Found(module, MAKEINTRESOURCEW(rtGroupIcon), MAKEINTRESOURCEW(1));
  EXPECT_EQ(group, icon.groupDirectory);
  EXPECT_EQ(LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data()), TRUE, 32, 32, LR_DEFAULTCOLOR), 1);
  for (const WORD id : {1, 2}) {
    Bytes bits = Found(module, MAKEINTRESOURCEW(rtIcon), MAKEINTRESOURCEW(id));
    const HICON handle = CreateIconFromResourceEx(bits.data(), static_cast<DWORD>(bits.size()), TRUE, 0x00030000, 0,
                                                  0, LR_DEFAULTCOLOR);
    EXPECT_NE(handle, nullptr) << "RT_ICON " << id;
    if (handle != nullptr) DestroyIcon(handle);
  }
  EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(rtIcon)), nullptr);  // the probe's own third image is gone
  FreeLibrary(module);

  EXPECT_EQ(ExitCodeOf(packedPath), Fnv(payload));
  EXPECT_EQ(ExitCodeOf(Beside(L"pack_probe.exe")), 1u);

  // Packed again with a smaller package: its section is replaced, not followed by another.
  const Bytes packed = ReadWhole(packedPath);
  const PeImage packedImage = ReadImage(packed);
  ASSERT_TRUE(ResourceSectionToReplace(packedImage));
  std::vector<ResourceInput> again;
  for (const Resource& r : ReadResources(packedImage)) {
    if (r.type != ResourceName(rtRcData) || r.name != ResourceName(101)) again.push_back(Keep(r));
  }
  const Bytes small(7000, 0x42);
  again.push_back({rtRcData, 101, 0, 0, {small}});
  const std::wstring repackedPath = Beside(L"pack_probe_repacked.exe");
  Save(repackedPath, WriteImage(packedImage, again));
  EXPECT_EQ(ExitCodeOf(repackedPath), Fnv(small));
  EXPECT_LT(ReadWhole(repackedPath).size(), probe.size() + 0x10000);
}

}  // namespace
}  // namespace lomar::pe
