// diff: what changes between two builds of a game, and what the update costs each player.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/sha256.h"
#include "core/text.h"
#include "core/unicode.h"
#include "pack/command_line.h"
#include "pack/commands.h"
#include "pack/json_report.h"
#include "pack/json_writer.h"
#include "pack/package_diff.h"
#include "pack/packed_file.h"
#include "pack/tool_error.h"

namespace lomar::pack {
namespace {

constexpr const char* diffHelp =
    "usage: lomar-pack diff OLD NEW [--json]\n"
    "\n"
    "Compares the game packages in OLD and NEW (packed game executables or bare packages), read and checked\n"
    "as list reads them, and says what a player who has run OLD unpacks and writes again when NEW starts.\n"
    "Entries are matched by name as Windows matches files in the runtime folder, whatever their letter case,\n"
    "and compared by their SHA-256 digests. Prints a line per entry that is added, removed, changed or renamed\n"
    "in letter case only (which costs nothing), then a summary: the counts, and the files and bytes to unpack\n"
    "(the unpacked sizes of the changed and added entries). Removed entries stay in players' runtime folders:\n"
    "the launcher never deletes a file.\n"
    "\n"
    "  --json   prints one JSON document instead: old and new (path, size, sha256), the added, removed,\n"
    "           changed and renamed entries, and a summary with the counts, unpackFiles and unpackBytes.\n"
    "\n"
    "Exit status 0 whether or not they differ; 1 when either file is not a packed game, with verify's message.\n";

std::string Name(const PackageEntry* entry) { return ToUtf8(entry->name); }

unsigned long long Number(std::uint64_t n) { return static_cast<unsigned long long>(n); }

void PrintText(const PackageDiff& diff, const std::string& oldPath, const std::string& newPath) {
  // One sorted sequence, as the lists are, so that a person reads the changes in package order.
  struct Line {
    Text key;
    std::string text;
  };
  std::vector<Line> lines;
  auto line = [&](const PackageEntry* entry, const char* what, const std::string& more) {
    char head[40];
    std::snprintf(head, sizeof head, "%-8s %12llu  ", what, Number(entry->unpackedSize));
    lines.push_back({PortableLowerCased(entry->name), head + Name(entry) + more});
  };
  for (const PackageEntry* entry : diff.added) line(entry, "added", "");
  for (const PackageEntry* entry : diff.removed) line(entry, "removed", "");
  for (const EntryPair& pair : diff.changed)
    line(pair.after, "changed",
         " (was " + std::to_string(pair.before->unpackedSize) + " bytes" +
             (pair.before->name != pair.after->name ? ", as " + Name(pair.before) : std::string()) + ")");
  for (const EntryPair& pair : diff.renamed)
    line(pair.after, "renamed", " (was " + Name(pair.before) + "; letter case only, nothing to unpack)");
  std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.key < b.key; });
  for (const Line& l : lines) std::printf("%s\n", l.text.c_str());
  std::printf("%zu added, %zu removed, %zu changed, %zu unchanged; a player who has run %s unpacks %zu files, %llu "
              "bytes when %s starts\n",
              diff.added.size(), diff.removed.size(), diff.changed.size(), diff.unchanged, oldPath.c_str(),
              diff.updateFiles, Number(diff.updateBytes), newPath.c_str());
}

void WriteEntryList(JsonWriter& out, const char* key, const std::vector<const PackageEntry*>& entries) {
  out.Key(key).BeginArray();
  for (const PackageEntry* entry : entries)
    out.BeginObject()
        .Field("name", Name(entry))
        .Field("size", entry->unpackedSize)
        .Field("sha256", HexDigest(entry->digest))
        .EndObject();
  out.EndArray();
}

void WritePairList(JsonWriter& out, const char* key, const std::vector<EntryPair>& pairs, bool sameContent) {
  out.Key(key).BeginArray();
  for (const EntryPair& pair : pairs) {
    out.BeginObject().Field("name", Name(pair.after)).Field("oldName", Name(pair.before));
    out.Field("size", pair.after->unpackedSize);
    if (!sameContent) out.Field("oldSize", pair.before->unpackedSize);
    out.Field("sha256", HexDigest(pair.after->digest));
    if (!sameContent) out.Field("oldSha256", HexDigest(pair.before->digest));
    out.EndObject();
  }
  out.EndArray();
}

void PrintJson(const PackageDiff& diff, const std::string& oldPath, const PackedFile& oldFile,
               const std::string& newPath, const PackedFile& newFile) {
  JsonWriter out;
  out.BeginObject();
  WriteFileFacts(out, "old", oldPath, oldFile.bytes.size(), Sha256Of(oldFile.bytes));
  WriteFileFacts(out, "new", newPath, newFile.bytes.size(), Sha256Of(newFile.bytes));
  WriteEntryList(out, "added", diff.added);
  WriteEntryList(out, "removed", diff.removed);
  WritePairList(out, "changed", diff.changed, false);
  WritePairList(out, "renamed", diff.renamed, true);
  out.Key("summary")
      .BeginObject()
      .Field("added", std::uint64_t{diff.added.size()})
      .Field("removed", std::uint64_t{diff.removed.size()})
      .Field("changed", std::uint64_t{diff.changed.size()})
      .Field("unchanged", std::uint64_t{diff.unchanged})
      .Field("renamed", std::uint64_t{diff.renamed.size()})
      .Field("unpackFiles", std::uint64_t{diff.updateFiles})
      .Field("unpackBytes", diff.updateBytes)
      .EndObject();
  out.EndObject();
  std::fputs(out.Finish().c_str(), stdout);
}

}  // namespace

int Diff(std::span<const std::string> args) {
  const CommandLine line = ParseCommandLine(args, "diff", {}, {"--json"});
  if (line.help) {
    std::fputs(diffHelp, stdout);
    return 0;
  }
  if (line.operands.size() != 2) throw UsageError{"diff takes OLD and NEW (see: lomar-pack diff --help)"};
  const std::string& oldPath = line.operands[0];
  const std::string& newPath = line.operands[1];
  const PackedFile oldFile = OpenPackedFile(oldPath);
  const PackedFile newFile = OpenPackedFile(newPath);
  const PackageDiff diff = DiffPackages(oldFile.entries, newFile.entries);
  if (line.flags.contains("--json"))
    PrintJson(diff, oldPath, oldFile, newPath, newFile);
  else
    PrintText(diff, oldPath, newPath);
  return 0;
}

}  // namespace lomar::pack
