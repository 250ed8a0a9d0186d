#include "pack/build_report.h"

#include <algorithm>
#include <cstdio>

#include "pack/json_writer.h"

namespace lomar::pack {

void PrintBuildReport(const BuildReport& report, bool json) {
  if (!json) {
    std::uint64_t unpacked = 0;
    for (const ReportedEntry& entry : report.entries) unpacked += entry.size;
    std::printf("%s: %zu files, %llu bytes, packed into %llu bytes\n", report.output.c_str(), report.entries.size(),
                static_cast<unsigned long long>(unpacked), static_cast<unsigned long long>(report.outputSize));
    // As sha256sum prints it, so that a pipeline's log holds what a player can check a download against.
    std::printf("sha256 %s  %s\n", HexDigest(report.outputDigest).c_str(), report.output.c_str());
    return;
  }
  JsonWriter out;
  out.BeginObject();
  WriteFileFacts(out, "output", report.output, report.outputSize, report.outputDigest);
  out.Key("options").BeginObject();
  out.Field("level", report.level == xpress::Level::fast ? "fast" : "max");
  out.Field("blocks", report.blocks == xpress::BlockLayout::split ? "split" : "platform");
  out.Key("exclude").BeginArray();
  for (const std::string& pattern : report.excludePatterns) out.String(pattern);
  out.EndArray().EndObject();
  // In the order of their bytes, whatever order the folder was listed in.
  std::vector<std::string> excluded = report.excluded;
  std::sort(excluded.begin(), excluded.end());
  out.Key("excluded").BeginArray();
  for (const std::string& path : excluded) out.String(path);
  out.EndArray();
  WriteEntries(out, report.entries, report.packageSize);
  out.EndObject();
  std::fputs(out.Finish().c_str(), stdout);
}

}  // namespace lomar::pack
