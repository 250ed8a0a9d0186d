// The writer's output held against the real loader: Windows' own resource calls,
// its checksum routine, and the packed program started as a process.
#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

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
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  EXPECT_TRUE(in) << ToUtf8(path);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Save(const std::wstring& path, const PackedImage& image) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  for (const auto piece : image.Pieces()) out.write(reinterpret_cast<const char*>(piece.data()), piece.size());
  EXPECT_TRUE(out) << ToUtf8(path);
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

TEST(WriteImage, ThePackedProgramLoadsAndRuns) {
  const Bytes probe = ReadWhole(Beside(L"pack_probe.exe"));
  const Bytes ico = ReadWhole(Beside(L"pack_embed_test.ico"));  // three bitmaps and a PNG
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
  EXPECT_EQ(kept, 3);  // RCDATA 7, LOMARTEST "NAMED", the version: the probe has no icon of its own

  const Bytes group = Found(module, MAKEINTRESOURCEW(rtGroupIcon), MAKEINTRESOURCEW(1));
  EXPECT_EQ(group, icon.groupDirectory);
  EXPECT_EQ(LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data()), TRUE, 32, 32, LR_DEFAULTCOLOR), 2);
  for (const WORD id : {1, 2, 3, 4}) {
    Bytes bits = Found(module, MAKEINTRESOURCEW(rtIcon), MAKEINTRESOURCEW(id));
    const HICON handle = CreateIconFromResourceEx(bits.data(), static_cast<DWORD>(bits.size()), TRUE, 0x00030000, 0,
                                                  0, LR_DEFAULTCOLOR);
    EXPECT_NE(handle, nullptr) << "RT_ICON " << id;
    if (handle != nullptr) DestroyIcon(handle);
  }
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
