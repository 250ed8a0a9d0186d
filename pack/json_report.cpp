#include "pack/json_report.h"

#include "core/text.h"

namespace lomar::pack {

std::string HexDigest(const Digest& digest) { return ToUtf8(ToLowerHex(digest)); }

void WriteFileFacts(JsonWriter& json, std::string_view key, const std::string& path, std::uint64_t size,
                    const Digest& digest) {
  json.Key(key).BeginObject().Field("path", path).Field("size", size).Field("sha256", HexDigest(digest)).EndObject();
}

void WriteEntries(JsonWriter& json, std::span<const ReportedEntry> entries, std::uint64_t packageSize) {
  std::uint64_t size = 0, stored = 0;
  json.Key("files").BeginArray();
  for (const ReportedEntry& entry : entries) {
    json.BeginObject()
        .Field("name", entry.name)
        .Field("size", entry.size)
        .Field("storedSize", entry.storedSize)
        .Field("sha256", HexDigest(entry.digest))
        .EndObject();
    size += entry.size;
    stored += entry.storedSize;
  }
  json.EndArray();
  json.Key("totals")
      .BeginObject()
      .Field("files", std::uint64_t{entries.size()})
      .Field("size", size)
      .Field("storedSize", stored)
      .Field("packageSize", packageSize)
      .EndObject();
}

}  // namespace lomar::pack
