// The benchmarks' deterministic corpus: Wine's 64-bit DLLs and EXEs in name order, C headers as text, and
// xorshift noise, in the proportions 80/12/8.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace lomar::bench {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Gather(const std::vector<std::filesystem::path>& roots, const std::vector<std::string>& extensions,
                    std::size_t want) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (const fs::path& root : roots) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; it != end; it.increment(ec)) {
      if (ec) break;
      if (!it->is_regular_file(ec)) continue;
      std::string ext = it->path().extension().string();
      std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
      if (std::find(extensions.begin(), extensions.end(), ext) != extensions.end()) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  Bytes out;
  for (const fs::path& f : files) {
    if (out.size() >= want) break;
    std::ifstream in(f, std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(in)), {});
    out.insert(out.end(), b.begin(), b.begin() + std::min(b.size(), want - out.size()));
  }
  return out;
}

inline Bytes Noise(std::size_t size) {
  Bytes out(size);
  std::uint64_t x = 0x2545F4914F6CDD1Dull;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<std::uint8_t>(x >> 32);
  }
  return out;
}

struct Part {
  const char* name;
  Bytes data;
};

inline std::vector<Part> Corpus(std::size_t total) {
  std::vector<Part> parts;
  parts.push_back({"executables", Gather({"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"}, {".dll", ".exe"},
                                         total * 80 / 100)});
  parts.push_back({"text", Gather({"/usr/include"}, {".h"}, total * 12 / 100)});
  parts.push_back({"incompressible", Noise(total * 8 / 100)});
  return parts;
}

}  // namespace lomar::bench
