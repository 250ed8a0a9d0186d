// Contents the codec tests share: deterministic, cheap to make, and each hard in its own way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace lomar::xpress::testdata {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Random(std::size_t size, std::uint64_t seed) {
  Bytes out(size);
  std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return out;
}

// Words from a small vocabulary with occasional random bytes: text-like, full of short and medium matches.
inline Bytes Text(std::size_t size, std::uint64_t seed) {
  static const char* const words[] = {"the ", "launcher ", "portable ", "runtime ", "folder ", "entry ", "of ",
                                      "and ", "digest ", "stream\n", "XPRESS ", "Huffman, ", "game "};
  const Bytes noise = Random(size + 1, seed);
  Bytes out;
  out.reserve(size);
  for (std::size_t i = 0; out.size() < size; ++i) {
    if (noise[i] < 12) {
      out.push_back(noise[i + 1 < noise.size() ? i + 1 : 0]);
      continue;
    }
    for (const char* w = words[noise[i] % std::size(words)]; *w && out.size() < size; ++w) out.push_back(*w);
  }
  return out;
}

inline Bytes Repeat(const std::string& unit, std::size_t times) {
  Bytes out;
  for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

// A real Windows executable when the machine has Wine's DLLs (native runs); empty otherwise.
inline Bytes WineDll(const char* name) {
  const std::filesystem::path path = std::filesystem::path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows") / name;
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace lomar::xpress::testdata
