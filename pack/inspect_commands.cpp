// list and verify: what a packed game holds, and whether every entry unpacks to its digest.
#include <cstdio>
#include <vector>

#include "core/sha256.h"
#include "core/text.h"
#include "pack/command_line.h"
#include "pack/commands.h"
#include "pack/json_report.h"
#include "pack/packed_file.h"
#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

constexpr const char* listHelp =
    "usage: lomar-pack list FILE [--json]\n"
    "\n"
    "Prints one line per entry of the game package in FILE (a packed game executable or a bare package):\n"
    "unpacked size, stored size, SHA-256 digest and name, in the order the launcher prepares them; then a\n"
    "total line. The package is read and checked as the launcher reads it; its streams are not unpacked\n"
    "(see verify).\n"
    "\n"
    "  --json   prints one JSON document instead: the file's path, size and sha256, every entry (name, size,\n"
    "           storedSize, sha256) in stored order, and the totals.\n";

constexpr const char* verifyHelp =
    "usage: lomar-pack verify FILE\n"
    "\n"
    "Checks FILE (a packed game executable or a bare package) as the launcher would: reads its package with\n"
    "the launcher's own loader, then unpacks every entry and compares its SHA-256 digest. Exit status 0 when\n"
    "every entry is right; 1 with the launcher's own message, naming the entry, at the first that is not.\n";

// `json`, when given, is where the command's --json flag is reported; without it the flag is unknown.
std::string OneFile(std::span<const std::string> args, const std::string& command, const char* help, bool& helped,
                    bool* json = nullptr) {
  const CommandLine line = json ? ParseCommandLine(args, command, {}, {"--json"}) : ParseCommandLine(args, command, {}, {});
  if (json) *json = line.flags.contains("--json");
  helped = line.help;
  if (helped) {
    std::fputs(help, stdout);
    return {};
  }
  if (line.operands.size() != 1)
    throw UsageError{command + " takes one FILE (see: lomar-pack " + command + " --help)"};
  return line.operands[0];
}

}  // namespace

int List(std::span<const std::string> args) {
  bool helped = false;
  bool json = false;
  const std::string path = OneFile(args, "list", listHelp, helped, &json);
  if (helped) return 0;
  const PackedFile file = OpenPackedFile(path);
  if (json) {
    std::vector<ReportedEntry> entries;
    for (const PackageEntry& entry : file.entries)
      entries.push_back({ToUtf8(entry.name), entry.unpackedSize, entry.storedSize, entry.digest});
    JsonWriter out;
    out.BeginObject();
    WriteFileFacts(out, "file", path, file.bytes.size(), Sha256Of(file.bytes));
    WriteEntries(out, entries, file.package.size());
    out.EndObject();
    std::fputs(out.Finish().c_str(), stdout);
    return 0;
  }
  std::uint64_t unpacked = 0, stored = 0;
  for (const PackageEntry& entry : file.entries) {
    std::printf("%12llu %12llu  %s  %s\n", static_cast<unsigned long long>(entry.unpackedSize),
                static_cast<unsigned long long>(entry.storedSize), ToUtf8(ToLowerHex(entry.digest)).c_str(),
                ToUtf8(entry.name).c_str());
    unpacked += entry.unpackedSize;
    stored += entry.storedSize;
  }
  std::printf("%12llu %12llu  total: %zu files, package of %zu bytes\n", static_cast<unsigned long long>(unpacked),
              static_cast<unsigned long long>(stored), file.entries.size(), file.package.size());
  return 0;
}

int Verify(std::span<const std::string> args) {
  bool helped = false;
  const std::string path = OneFile(args, "verify", verifyHelp, helped);
  if (helped) return 0;
  const PackedFile file = OpenPackedFile(path);
  const std::uint64_t total = UnpackEveryEntry(file, path, "verifying", [](std::size_t, std::span<const std::uint8_t>) {});
  std::printf("%s: all %zu files unpack to their digests (%llu bytes)\n", path.c_str(), file.entries.size(),
              static_cast<unsigned long long>(total));
  return 0;
}

}  // namespace lomar::pack
