// Every input ends in one of the loader's own messages or in a view that is
// exactly what the writer makes of the same entries. Anything else (another
// exception, a sanitizer report, a hang, a large allocation) is a finding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/failure.h"
#include "core/messages.h"
#include "package/entry_path.h"
#include "package/package_loader.h"
#include "package/package_writer.h"

namespace {

using namespace lomar;

bool IsLoaderMessage(const Text& message) {
  const Unit* const messages[] = {msg::invalidPackageSize, msg::unsupportedFormat, msg::invalidFileCount,
                                  msg::truncatedPackage,   msg::invalidEntrySize,  msg::invalidFilename,
                                  msg::duplicateFilename,  msg::incompletePackage, msg::invalidPath,
                                  msg::unsafePath,         msg::reservedFilename};
  for (const Unit* m : messages) {
    if (message == m) return true;
  }
  return false;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckView(const PackageView& view, const std::uint8_t* data, std::size_t size) {
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  std::vector<PackageInput> inputs;
  for (const PackageEntry& entry : view) {
    const auto stored = reinterpret_cast<std::uintptr_t>(entry.storedData);
    Require(stored >= begin && entry.storedSize <= size && stored - begin <= size - entry.storedSize);
    CheckEntryPath(entry.name);  // throws, and so fails, if the loader let a bad name through
    inputs.push_back({ToUtf8(entry.name), entry.unpackedSize, entry.digest, {entry.storedData, entry.storedSize}});
  }
  const std::vector<std::uint8_t> rewritten = WritePackage(inputs);
  Require(rewritten.size() == size && std::memcmp(rewritten.data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  PackageView view;
  try {
    view = LoadPackage(data, size);
  } catch (const Failure& failure) {
    Require(IsLoaderMessage(failure.message));
    return 0;
  }
  CheckView(view, data, size);
  return 0;
}
