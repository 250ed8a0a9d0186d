// build: a game folder and the launcher stub made into the one portable executable.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "codec/xpress.h"
#include "core/failure.h"
#include "core/sha256.h"
#include "package/format.h"
#include "package/package_writer.h"
#include "pack/build_report.h"
#include "pack/command_line.h"
#include "pack/commands.h"
#include "pack/exclude_patterns.h"
#include "pack/game_folder.h"
#include "pack/host_files.h"
#include "pack/icon_file.h"
#include "pack/name_rules.h"
#include "pack/pe_error.h"
#include "pack/pe_reader.h"
#include "pack/pe_writer.h"
#include "pack/progress.h"
#include "pack/resource_tree.h"
#include "pack/stub_location.h"
#include "pack/tool_error.h"
#include "pack/version_options.h"

namespace lomar::pack {
namespace {

constexpr const char* buildHelp =
    "usage: lomar-pack build GAME_DIR --output OUT.exe [--launcher STUB.exe]\n"
    "                        [--level fast|max] [--threads N] [--icon GAME.ico] [--blocks platform|split]\n"
    "                        [--exclude GLOB]... [--json]\n"
    "                        [--product-name TEXT] [--product-version V] [--file-version V] [--company TEXT]\n"
    "                        [--description TEXT] [--copyright TEXT] [--original-filename NAME]\n"
    "\n"
    "Packs every file below GAME_DIR into one game package and writes a copy of the launcher stub that\n"
    "carries it (resource RT_RCDATA 101) as OUT.exe. GAME_DIR must hold the game executable\n"
    "LOMARVesperon.exe at its top level. Files are stored under their paths relative to GAME_DIR, sorted\n"
    "as the launcher prepares them; folders appear through the files in them.\n"
    "\n"
    "  --launcher STUB.exe   the launcher stub (lomar-launcher.exe); its manifest, version and icons stay\n"
    "                        but for what the options below replace.\n"
    "                        A signed stub is refused: sign OUT.exe after packing. Default: the stub\n"
    "                        installed with lomar-pack, ../share/lomar/lomar-launcher.exe from lomar-pack's\n"
    "                        folder, else lomar-launcher.exe beside lomar-pack (run from a build folder:\n"
    "                        the Windows build's stub, last).\n"
    "  --output OUT.exe      written beside itself under a temporary name and renamed into place when\n"
    "                        complete; replaced if it exists. A failed run leaves no OUT.exe behind.\n"
    "  --level fast|max      compression effort (default max: a game is packed once and downloaded often).\n"
    "  --threads N           threads that compress (default: one per processor). The output is the same.\n"
    "  --icon GAME.ico       the icon Explorer and the taskbar show, in place of the stub's.\n"
    "  --blocks platform|split\n"
    "                        platform (default): blocks of 64 MiB, the layout the Windows Compression API\n"
    "                        is known to read. split: blocks of at most 4 MiB, which the launcher's own\n"
    "                        decoder (used under Wine) unpacks faster, but which Windows is not known to read.\n"
    "  --exclude GLOB        leaves out the files whose path below GAME_DIR matches, and whole folders; may be\n"
    "                        repeated. / separates folders; * matches within one name, ? one character, ** any\n"
    "                        number of folders; letter case does not matter. `**/*.pdb` drops debug symbols\n"
    "                        anywhere, `.git` the whole folder, unread; a pattern ending in / matches folders\n"
    "                        only. Leaving out LOMARVesperon.exe is refused.\n"
    "  --json                prints one JSON document on standard output instead of the summary: the output's\n"
    "                        path, size and sha256, the level, blocks and patterns, what was left out, every\n"
    "                        entry (name, size, storedSize, sha256) and the totals.\n"
    "\n"
    "The game's own version information, in place of the stub's (Explorer's properties show it). Each option\n"
    "is optional and sets one value; what is not given keeps the stub's. A version V is one to four numbers\n"
    "from 0 to 65535 joined by dots (1.4.2 is 1.4.2.0); the text is also shown as given.\n"
    "  --product-name TEXT        ProductName         --company TEXT          CompanyName\n"
    "  --product-version V        ProductVersion      --description TEXT      FileDescription\n"
    "  --file-version V           FileVersion         --copyright TEXT        LegalCopyright\n"
    "  --original-filename NAME   OriginalFilename\n"
    "\n"
    "Refused, before anything is written, naming the file: names the launcher refuses or Windows would\n"
    "confuse (device names, trailing dots or spaces, : \\ * ? \" < > |, names equal but for letter case),\n"
    "symbolic links and other non-regular files, more than 4096 files, names over 2048 bytes, more than\n"
    "512 MiB in all. The same inputs always give the same bytes. Done, it prints a summary and the output's\n"
    "SHA-256.\n";

struct Options {
  std::string gameDir, launcher, output;
  std::optional<std::string> icon;
  xpress::CompressOptions compress;
  ExcludePatterns exclude;
  bool json = false;
  VersionOptions version;
};

Options ParseOptions(std::span<const std::string> args, bool& helped) {
  const CommandLine line =
      ParseCommandLine(args, "build", {"--launcher", "--output", "--level", "--threads", "--icon", "--blocks",
                                       "--product-name", "--product-version", "--file-version", "--company",
                                       "--description", "--copyright", "--original-filename"},
                       {"--json"}, {"--exclude"});
  helped = line.help;
  Options options;
  if (helped) return options;
  if (line.operands.size() != 1)
    throw UsageError{"build takes one GAME_DIR (see: lomar-pack build --help)"};
  options.gameDir = line.operands[0];
  if (!line.Value("--output")) throw UsageError{"build needs --output (see: lomar-pack build --help)"};
  options.output = *line.Value("--output");
  options.icon = line.Value("--icon");
  if (const auto level = line.Value("--level")) {
    if (*level == "fast")
      options.compress.level = xpress::Level::fast;
    else if (*level != "max")
      throw UsageError{"--level takes fast or max, not " + *level + " (see: lomar-pack build --help)"};
  }
  if (const auto blocks = line.Value("--blocks")) {
    if (*blocks == "split")
      options.compress.blocks = xpress::BlockLayout::split;
    else if (*blocks != "platform")
      throw UsageError{"--blocks takes platform or split, not " + *blocks + " (see: lomar-pack build --help)"};
  }
  if (const auto threads = line.Value("--threads")) options.compress.threads = WholeNumber("--threads", *threads, 1024, "build");
  for (const std::string& pattern : line.Repeated("--exclude")) options.exclude.Add(pattern);
  options.json = line.flags.contains("--json");
  options.version = ReadVersionOptions(line);
  const auto launcher = line.Value("--launcher");
  options.launcher = launcher ? *launcher : FindInstalledStub();
  return options;
}

struct Stub {
  std::vector<std::uint8_t> bytes;
  pe::PeImage image;
  std::vector<pe::Resource> resources;
};

Stub ReadStub(const std::string& path) {
  Stub stub;
  stub.bytes = ReadWholeFile(path);
  try {
    stub.image = pe::ReadImage(stub.bytes);
    if (stub.image.isSigned)
      throw ToolError{path + ": carries an Authenticode signature, which embedding the game would break. Pack the "
                      "unsigned stub, then sign the packed executable"};
    if (stub.image.overlaySize != 0)
      throw ToolError{path + ": has " + std::to_string(stub.image.overlaySize) + " bytes appended after its last "
                      "section, which packing would have to drop; use the launcher stub as it was built"};
    stub.resources = pe::ReadResources(stub.image);
  } catch (const pe::PeError& e) {
    throw ToolError{path + ": " + e.what()};
  }
  return stub;
}

// One compressed entry; its stream is held until the executable is written.
struct Packed {
  std::string name;
  std::uint64_t unpackedSize = 0;
  Digest digest{};
  std::vector<std::uint8_t> stream;
};

// A file of more than this is coded by every thread at once, one such file after another; the others,
// one file to a thread, side by side. Each stream depends on its file alone, so the order in which they
// finish changes nothing.
constexpr std::uint64_t sharedFileSize = 8u << 20;

// `content` is the calling thread's memory for file contents, kept for its next file: read into fresh
// memory, every page of every file would cost a fault.
Packed CompressFile(const GameFile& file, const xpress::CompressOptions& options, std::uint64_t& readSoFar,
                    std::mutex& limitLock, std::vector<std::uint8_t>& content) {
  ReadWholeFile(file.path, content);
  {
    // A file that changed size since the folder was walked is held to the limits by what was read.
    std::lock_guard lock(limitLock);
    readSoFar += content.size();
    if (readSoFar > format::maxUnpackedTotal)
      throw ToolError{file.path + ": the files read so far add up to more than the launcher's 512 MiB"};
  }
  // The digest of a large file is taken beside its compression rather than before it, where it would keep
  // the other threads waiting.
  std::future<Digest> digest = std::async(options.threads == 1 ? std::launch::deferred : std::launch::async,
                                          [&content] { return Sha256Of(content); });
  std::vector<std::uint8_t> stream = xpress::Compress(content, options);
  Packed entry{file.name, content.size(), digest.get(), std::move(stream)};
  if (entry.stream.size() > format::maxStoredSize)
    throw ToolError{file.path + ": its stored stream would be " + std::to_string(entry.stream.size()) +
                    " bytes; the launcher takes at most " + std::to_string(format::maxStoredSize) + " per file"};
  return entry;
}

std::vector<Packed> Compress(const std::vector<GameFile>& files, xpress::CompressOptions options) {
  std::uint64_t total = 0;
  for (const GameFile& file : files) total += file.size;
  Progress progress("packing", files.size(), total);
  options.progress = &progress.Bytes();
  const unsigned threads = options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  std::vector<Packed> packed(files.size());
  std::uint64_t readSoFar = 0;
  std::mutex limitLock;

  std::vector<std::uint8_t> content;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i].size <= sharedFileSize) continue;
    progress.StartEntry(i, files[i].name);
    packed[i] = CompressFile(files[i], options, readSoFar, limitLock, content);
  }

  xpress::CompressOptions alone = options;
  alone.threads = 1;
  // The largest first, so that the threads run out of work together rather than one finishing a large
  // file alone at the end.
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < files.size(); ++i)
    if (files[i].size <= sharedFileSize) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&files](std::size_t a, std::size_t b) { return files[a].size > files[b].size; });
  std::atomic<std::size_t> next{0};
  // Files are handed out in that order, so every file before a failing one has been started, and the
  // failure reported is the first in that order, whichever thread met it first.
  std::size_t failedAt = order.size();
  std::exception_ptr failure;
  auto work = [&](std::vector<std::uint8_t>& content) {
    for (std::size_t k; (k = next.fetch_add(1)) < order.size();) {
      const std::size_t i = order[k];
      try {
        progress.StartEntry(i, files[i].name);
        packed[i] = CompressFile(files[i], alone, readSoFar, limitLock, content);
      } catch (...) {
        std::lock_guard lock(limitLock);
        if (k < failedAt) {
          failedAt = k;
          failure = std::current_exception();
        }
        next = order.size();
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t)
    pool.emplace_back([&work] {
      std::vector<std::uint8_t> own;
      work(own);
    });
  work(content);
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  progress.Done();
  return packed;
}

}  // namespace

int Build(std::span<const std::string> args) {
  bool helped = false;
  const Options options = ParseOptions(args, helped);
  if (helped) {
    std::fputs(buildHelp, stdout);
    return 0;
  }
  RefuseLeavingOutTheGame(options.exclude);
  const Stub stub = ReadStub(options.launcher);
  const std::optional<GameVersion> version = MakeGameVersion(stub.resources, options.version, options.launcher);
  std::vector<std::uint8_t> iconBytes;
  std::optional<pe::IconSet> icon;
  if (options.icon) {
    iconBytes = ReadWholeFile(*options.icon);
    try {
      icon = pe::ReadIconFile(iconBytes);
    } catch (const pe::IconError& e) {
      throw ToolError{*options.icon + ": " + e.what()};
    }
  }
  BuildReport report;
  report.output = options.output;
  report.excludePatterns = options.exclude.Patterns();
  std::vector<GameFile> files = WalkGameFolder(options.gameDir, [&](const std::string& name, bool folder) {
    if (!options.exclude.Matching(name, folder)) return false;
    report.excluded.push_back(name);
    return true;
  });
  CheckAndSortNames(files, options.gameDir);

  const std::vector<Packed> packed = Compress(files, options.compress);
  std::vector<PackageInput> inputs;
  std::uint64_t packageSize = format::headerSize;
  for (const Packed& entry : packed) {
    inputs.push_back({entry.name, entry.unpackedSize, entry.digest, entry.stream});
    packageSize += format::entryHeaderSize + entry.name.size() + entry.stream.size();
  }
  if (packageSize > format::maxImageSize)
    throw ToolError{options.gameDir + ": the package would be " + std::to_string(packageSize) +
                    " bytes once compressed; the launcher takes at most " + std::to_string(format::maxImageSize) +
                    " (512 MiB)"};
  PackageLayout package;
  try {
    package = LayOutPackage(inputs);
  } catch (const PackageWriteError& e) {
    throw ToolError{options.gameDir + ": " + e.what()};
  }

  // The stub's resources stay, but for an old package; the new one is language neutral.
  std::vector<pe::ResourceInput> resources;
  for (const pe::Resource& resource : stub.resources)
    if (!(resource.type == pe::ResourceName(pe::rtRcData) && resource.name == pe::ResourceName(format::resourceId)))
      resources.push_back(pe::Keep(resource));
  if (icon) pe::ReplaceIcon(resources, *icon);
  if (version) pe::ReplaceVersion(resources, version->name, version->language, version->codePage, version->bytes);
  resources.push_back({pe::rtRcData, format::resourceId, 0, 0, package.pieces});

  pe::PackedImage image;
  try {
    image = pe::WriteImage(stub.image, resources);
  } catch (const pe::PeError& e) {
    throw ToolError{options.launcher + ": " + e.what()};
  }
  OutputFile out(options.output, true);
  // Digested as it is written: reading the output back would digest whatever the disk holds by then.
  Sha256 digest;
  for (const auto piece : image.Pieces()) {
    out.Write(piece);
    digest.Update(piece);
  }
  out.Commit();

  report.outputSize = image.Size();
  report.outputDigest = digest.Finish();
  report.packageSize = package.size;
  report.level = options.compress.level;
  report.blocks = options.compress.blocks;
  for (const Packed& entry : packed)
    report.entries.push_back({entry.name, entry.unpackedSize, entry.stream.size(), entry.digest});
  PrintBuildReport(report, options.json);
  return 0;
}

}  // namespace lomar::pack
