// Writes a few small valid packages into the folder named on the command line:
// the fuzzer's starting points, one for each shape the loader must walk through.
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "package/package_writer.h"

namespace {

using namespace lomar;
using namespace std::string_view_literals;

std::span<const std::uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

Digest Seeded(std::uint8_t seed) {
  Digest d{};
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(seed * 31 + i);
  return d;
}

// Shaped like a buffer-mode stream holding three raw bytes; the loader never
// looks inside stored bytes, so its header checksum is left at zero.
constexpr std::string_view kStream =
    "\x0A\x51\xE5\xC0\x18\x00\x00\x04\x03\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00"
    "\x03\x00\x00\x00"
    "abc"sv;

struct Seed {
  const char* file;
  std::vector<PackageInput> entries;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SEED-FOLDER\n", argv[0]);
    return 2;
  }
  const Seed seeds[] = {
      {"one-entry", {{"lomarvesperon.exe", 3, Seeded(1), Bytes(kStream)}}},
      {"folders-and-case",
       {{"LOMARVesperon.exe", 3, Seeded(2), Bytes(kStream)},
        {"data/Fonts/Title.ttf", 3, Seeded(3), Bytes(kStream)},
        {"README.txt", 0, Seeded(4), {}},
        {".config/settings.ini", 5, Seeded(5), Bytes("odd")}}},
      {"non-ascii-names",
       {{"caf\xC3\xA9/\xE6\x97\xA5\xE6\x9C\xAC.txt", 1, Seeded(6), Bytes("x")},
        {"icons/\xF0\x9F\x8E\xAE.png", 2, Seeded(7), Bytes("yz")},
        {"lomarvesperon.exe", 3, Seeded(8), Bytes(kStream)}}},
      {"dots-and-spaces",
       {{" lead/..a/a..b/con_x", 1, Seeded(9), Bytes("1")},
        {"com10.dll", 1, Seeded(10), Bytes("2")},
        {"lomarvesperon.exe", 0x1FFFFFFE, Seeded(11), Bytes(kStream)}}},
  };
  for (const Seed& seed : seeds) {
    const std::vector<std::uint8_t> image = WritePackage(seed.entries);
    std::ofstream out(std::string(argv[1]) + "/" + seed.file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", seed.file);
      return 1;
    }
  }
  return 0;
}
