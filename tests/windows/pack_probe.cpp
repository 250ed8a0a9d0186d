// Packed by pack_embed_test: exits with the FNV-1a hash of its own RT_RCDATA 101,
// so the test sees that Windows loads the packed program and finds the package in it.
#include <windows.h>

#include <cstdint>

int main() {
  const HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(10));
  if (resource == nullptr) return 1;
  const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, resource)));
  const DWORD size = SizeofResource(nullptr, resource);
  if (bytes == nullptr) return 2;
  std::uint32_t hash = 2166136261u;
  for (DWORD i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
  return static_cast<int>(hash);
}
