// Writes a few small executables into the folder named on the command line: the
// PE reader fuzzer's starting points, a stub before and after packing among them,
// and a version resource alone and in a stub.
#include <cstdio>
#include <fstream>
#include <string>

#include "pack/pe_writer.h"
#include "pack/version_resource.h"
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

  VersionInfo info = FreshVersionInfo();
  SetVersionString(info, LT("ProductName"), LT("LOMAR Vesperon"));
  SetVersionString(info, LT("FileVersion"), LT("1.4.2"));
  const test::Bytes version = WriteVersionInfo(info);
  resources.pop_back();
  ReplaceVersion(resources, 1, 0x0409, 0, version);
  const PackedImage withVersion = WriteImage(image, resources);
  test::Bytes versioned;
  for (const auto piece : withVersion.Pieces()) versioned.insert(versioned.end(), piece.begin(), piece.end());

  const bool saved = Save(folder + "/stub", stub) && Save(folder + "/no-resources", test::Build(bare)) &&
                     Save(folder + "/packed", packed) && Save(folder + "/version", version) &&
                     Save(folder + "/stub-with-version", versioned);
  if (!saved) std::fprintf(stderr, "cannot write the seeds\n");
  return saved ? 0 : 1;
}
