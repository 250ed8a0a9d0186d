#include "pack/packed_file.h"

#include <algorithm>

#include "core/failure.h"
#include "core/messages.h"
#include "core/sha256.h"
#include "package/format.h"
#include "package/package_loader.h"
#include "pack/host_files.h"
#include "pack/pe_error.h"
#include "pack/pe_reader.h"
#include "pack/progress.h"
#include "pack/resource_tree.h"
#include "pack/tool_error.h"
#include "prepare/unpack.h"

namespace lomar::pack {
namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

std::span<const std::uint8_t> FindPackage(std::span<const std::uint8_t> bytes, const std::string& path) {
  if (StartsWith(bytes, format::magic)) return bytes;
  const std::uint8_t mz[] = {'M', 'Z'};
  if (!StartsWith(bytes, mz))
    throw ToolError{path + ": is neither a Windows executable nor a game package"};
  try {
    const pe::PeImage image = pe::ReadImage(bytes);
    const auto package = pe::FindResourceData(image, pe::rtRcData, format::resourceId);
    if (!package)
      throw ToolError{path + ": carries no game package (resource RT_RCDATA " + std::to_string(format::resourceId) +
                      "); it is the bare launcher stub or another program"};
    return *package;
  } catch (const pe::PeError& e) {
    throw ToolError{path + ": " + e.what()};
  }
}

}  // namespace

PackedFile OpenPackedFile(const std::string& path) {
  PackedFile file;
  file.bytes = ReadWholeFile(path);
  file.package = FindPackage(file.bytes, path);
  try {
    file.entries = LoadPackage(file.package.data(), file.package.size());
  } catch (const Failure& failure) {
    throw ToolError{path + ": the launcher refuses its package: " + ToUtf8(failure.message)};
  }
  return file;
}

std::uint64_t UnpackEveryEntry(const PackedFile& file, const std::string& path, const char* verb,
                               const std::function<void(std::size_t, std::span<const std::uint8_t>)>& use) {
  std::uint64_t total = 0;
  for (const PackageEntry& entry : file.entries) total += entry.unpackedSize;
  Progress progress(verb, file.entries.size(), total);
  CodecDecompressor decompressor;
  std::vector<std::uint8_t> buffer;
  for (std::size_t i = 0; i < file.entries.size(); ++i) {
    const PackageEntry& entry = file.entries[i];
    progress.StartEntry(i, ToUtf8(entry.name));
    buffer.assign(static_cast<std::size_t>(entry.unpackedSize), 0);
    try {
      UnpackEntry(decompressor, entry, buffer);
      if (Sha256Of(buffer) != entry.digest) throw Failure{msg::failedVerification};
    } catch (const Failure& failure) {
      throw ToolError{path + ": " + ToUtf8(entry.name) + ": " + ToUtf8(failure.message)};
    }
    use(i, buffer);
    progress.Bytes() += entry.unpackedSize;
  }
  progress.Done();
  return total;
}

}  // namespace lomar::pack
