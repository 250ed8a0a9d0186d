// What the commands' JSON documents share: a file's own facts, and the entries of a package with their
// totals, named the same way in every document.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "package/format.h"
#include "pack/json_writer.h"

namespace lomar::pack {

// Lower-case hexadecimal, as sha256sum and `list` print digests.
std::string HexDigest(const Digest& digest);

// KEY: {"path": ..., "size": N, "sha256": HEX}, for an executable or package as a whole.
void WriteFileFacts(JsonWriter& json, std::string_view key, const std::string& path, std::uint64_t size,
                    const Digest& digest);

struct ReportedEntry {
  std::string name;  // UTF-8, as stored
  std::uint64_t size;
  std::uint64_t storedSize;
  Digest digest;
};

// "files": [{"name", "size", "storedSize", "sha256"}...] in the order given, then
// "totals": {"files", "size", "storedSize", "packageSize"}.
void WriteEntries(JsonWriter& json, std::span<const ReportedEntry> entries, std::uint64_t packageSize);

}  // namespace lomar::pack
