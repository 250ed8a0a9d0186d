// Every input ends in a PeError or in resources that lie inside it. When the
// writer takes such an input as a stub, what it writes must read back with the
// same resources and checksum, and writing that again with its own resources
// must give the same bytes. The version resource's reader runs over every
// RT_VERSION found, and over the whole input when it is no executable: it
// refuses with a VersionError, or what it read writes out as bytes that read
// back the same and write again the same. Anything else (another exception, a
// sanitizer report, a hang, a large allocation) is a finding.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <vector>

#include "pack/pe_checksum.h"
#include "pack/pe_error.h"
#include "pack/pe_writer.h"
#include "pack/version_resource.h"

namespace {

using namespace lomar::pe;
using Bytes = std::vector<std::uint8_t>;

void Require(bool condition) {
  if (!condition) std::abort();
}

Bytes Concatenate(const PackedImage& image) {
  Bytes out;
  for (const auto piece : image.Pieces()) out.insert(out.end(), piece.begin(), piece.end());
  Require(out.size() == image.Size());
  return out;
}

std::vector<ResourceInput> KeepAll(const std::vector<Resource>& resources) {
  std::vector<ResourceInput> inputs;
  for (const Resource& r : resources) inputs.push_back(Keep(r));
  return inputs;
}

// In directory order, as the writer lays them out.
std::vector<std::tuple<ResourceName, ResourceName, std::uint16_t, std::uint32_t, Bytes>> Sorted(
    const std::vector<Resource>& resources) {
  std::vector<std::tuple<ResourceName, ResourceName, std::uint16_t, std::uint32_t, Bytes>> sorted;
  for (const Resource& r : resources) sorted.emplace_back(r.type, r.name, r.language, r.codePage, Bytes(r.data.begin(), r.data.end()));
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

void CheckVersion(std::span<const std::uint8_t> resource) {
  VersionInfo info;
  try {
    info = ReadVersionInfo(resource);
  } catch (const VersionError&) {
    return;
  }
  Bytes written;
  try {
    written = WriteVersionInfo(info);
  } catch (const VersionError&) {
    return;  // the padding the writer adds may take a block past 65535 bytes
  }
  Require(ReadVersionInfo(written) == info);
  Require(WriteVersionInfo(ReadVersionInfo(written)) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  PeImage image;
  std::vector<Resource> resources;
  std::optional<std::span<const std::uint8_t>> package;
  try {
    image = ReadImage(file);
    resources = ReadResources(image);
    package = FindResourceData(image, rtRcData, 101);
  } catch (const PeError&) {
    CheckVersion(file);
    return 0;
  }
  for (const Resource& r : resources) {
    Require(r.data.empty() || (r.data.data() >= data && r.data.size() <= size &&
                               static_cast<std::size_t>(r.data.data() - data) <= size - r.data.size()));
    if (r.type == ResourceName(rtVersion)) CheckVersion(r.data);
  }

  Bytes written;
  try {
    written = Concatenate(WriteImage(image, KeepAll(resources)));
  } catch (const PeError&) {
    return 0;
  }
  // From here on nothing may throw: an escaping exception is a finding too.
  const PeImage back = ReadImage(written);
  const std::vector<Resource> again = ReadResources(back);
  Require(Sorted(again) == Sorted(resources));
  const auto packageAgain = FindResourceData(again, rtRcData, 101);
  Require(package.has_value() == packageAgain.has_value());
  Require(!package || std::equal(package->begin(), package->end(), packageAgain->begin(), packageAgain->end()));
  const std::span<const std::uint8_t> whole[] = {written};
  Require(PeChecksum(whole, back.CheckSumOffset()) == back.checkSum);
  Require(ResourceSectionToReplace(back) == back.sections.size() - 1);
  Require(Concatenate(WriteImage(back, KeepAll(again))) == written);
  return 0;
}
