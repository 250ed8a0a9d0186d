// Writes a few small executables into the folder named on the command line: the
// PE reader fuzzer's starting points, a stub before and after packing among them.
#include <cstdio>
#include <fstream>
#include <string>

#include "pack/pe_writer.h"
#include "tests/unit/pack_test_pe.h"

namespace {

using namespace lomar::pe;

bool Save(const std::string& path, const test::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SEED-FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const test::Bytes stub = test::Stub().Image();
  test::Shape bare = test::Stub().MakeShape();
  bare.resourceRva = bare.resourceSize = 0;

  const PeImage image = ReadImage(stub);
  std::vector<ResourceInput> resources;
  for (const Resource& r : ReadResources(image)) resources.push_back(Keep(r));
  const std::string package = "LOMPKG01 and a little more";
  resources.push_back({rtRcData, 101, 0, 0, {{reinterpret_cast<const std::uint8_t*>(package.data()), package.size()}}});
  const PackedImage written = WriteImage(image, resources);
  test::Bytes packed;
  for (const auto piece : written.Pieces()) packed.insert(packed.end(), piece.begin(), piece.end());

  const bool saved = Save(folder + "/stub", stub) && Save(folder + "/no-resources", test::Build(bare)) &&
                     Save(folder + "/packed", packed);
  if (!saved) std::fprintf(stderr, "cannot write the seeds\n");
  return saved ? 0 : 1;
}
