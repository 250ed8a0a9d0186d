// What `build` says once the output is in place: a summary line and the output's SHA-256 for a person, or
// with --json one document for a pipeline, on standard output either way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/xpress.h"
#include "package/format.h"
#include "pack/json_report.h"

namespace lomar::pack {

struct BuildReport {
  std::string output;
  std::uint64_t outputSize = 0;
  Digest outputDigest{};
  std::uint64_t packageSize = 0;
  std::vector<ReportedEntry> entries;  // in stored order
  xpress::Level level = xpress::Level::max;
  xpress::BlockLayout blocks = xpress::BlockLayout::platform;
  std::vector<std::string> excludePatterns;  // as given
  std::vector<std::string> excluded;         // what they left out: files, and folders as a whole
};

void PrintBuildReport(const BuildReport& report, bool json);

}  // namespace lomar::pack
