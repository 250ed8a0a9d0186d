// lomar-xpress: compresses, decompresses and describes buffer-mode XPRESS-Huffman streams, so that the
// format can be checked from outside and against the Compression API on a real Windows machine.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/framing.h"
#include "codec/xpress.h"
#include "lomar/version.h"

namespace {

namespace fs = std::filesystem;
using lomar::xpress::DecodeStatus;

constexpr const char* usage =
    "usage: lomar-xpress compress IN OUT [--level fast|max] [--threads N] [--blocks platform|split]\n"
    "       lomar-xpress decompress IN OUT\n"
    "       lomar-xpress info IN\n"
    "       lomar-xpress --version\n"
    "\n"
    "Streams are XPRESS-Huffman (MS-XCA LZ77+Huffman) in the Windows Compression API's buffer mode:\n"
    "a 24-byte header, then blocks each coded on its own. compress writes the max level by default and uses\n"
    "every core unless --threads says otherwise; the output is the same for any thread count.\n"
    "--blocks platform (the default) cuts blocks of 64 MiB, as the platform's own compressor does: the layout\n"
    "the Windows Compression API is known to read. --blocks split cuts blocks of at most 4 MiB, which our own\n"
    "decoder takes two at a time, faster, but which the Compression API is not known to read.\n"
    "decompress takes the size from the stream's header and leaves no OUT when the stream is corrupt.\n";

struct ToolError {
  std::string message;
};

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError{"cannot open " + path};
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) throw ToolError{"cannot read " + path};
  in.seekg(0);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), size)) throw ToolError{"cannot read " + path};
  return bytes;
}

// Written beside OUT and renamed over it only when complete, so a failure never leaves a partial OUT.
void WriteFileWhole(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string temp = path + ".lomar-partial";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) throw ToolError{"cannot create " + temp};
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      fs::remove(temp, ignored);
      throw ToolError{"cannot write " + temp};
    }
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw ToolError{"cannot rename " + temp + " to " + path + ": " + ec.message()};
  }
}

int Compress(const std::vector<std::string_view>& args) {
  std::vector<std::string> files;
  lomar::xpress::CompressOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a == "--level" || a == "--threads" || a == "--blocks") {
      if (i + 1 == args.size()) throw ToolError{std::string(a) + " needs a value"};
      const std::string_view v = args[++i];
      if (a == "--level") {
        if (v == "fast")
          options.level = lomar::xpress::Level::fast;
        else if (v == "max")
          options.level = lomar::xpress::Level::max;
        else
          throw ToolError{"--level takes fast or max, not " + std::string(v)};
      } else if (a == "--blocks") {
        if (v == "platform")
          options.blocks = lomar::xpress::BlockLayout::platform;
        else if (v == "split")
          options.blocks = lomar::xpress::BlockLayout::split;
        else
          throw ToolError{"--blocks takes platform or split, not " + std::string(v)};
      } else {
        unsigned n = 0;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
        if (ec != std::errc() || end != v.data() + v.size() || n == 0 || n > 1024)
          throw ToolError{"--threads takes a whole number from 1 to 1024, not " + std::string(v)};
        options.threads = n;
      }
    } else if (a.starts_with("--")) {
      throw ToolError{"unknown option " + std::string(a)};
    } else {
      files.emplace_back(a);
    }
  }
  if (files.size() != 2) throw ToolError{"compress takes IN and OUT"};
  const auto content = ReadFile(files[0]);
  const auto stream = lomar::xpress::Compress(content, options);
  WriteFileWhole(files[1], stream);
  return 0;
}

int Decompress(const std::vector<std::string_view>& args) {
  if (args.size() != 2) throw ToolError{"decompress takes IN and OUT"};
  const std::string in(args[0]), out(args[1]);
  const auto stream = ReadFile(in);
  std::vector<std::uint8_t> content;
  if (!stream.empty()) {
    const auto header = lomar::xpress::ReadHeader(stream);
    if (!header) throw ToolError{in + " is not a buffer-mode XPRESS-Huffman stream"};
    // Every block costs at least its 4-byte count; a header promising more blocks than that is corrupt,
    // and we find out before allocating what it asks for.
    const std::uint64_t blocks = header->unpackedSize == 0 ? 0 : (header->unpackedSize - 1) / header->blockSize + 1;
    if (blocks > (stream.size() - lomar::xpress::headerSize) / 4 || header->unpackedSize > SIZE_MAX)
      throw ToolError{in + " is corrupt: its header promises more content than its blocks can hold"};
    try {
      content.resize(static_cast<std::size_t>(header->unpackedSize));
    } catch (const std::bad_alloc&) {
      throw ToolError{"not enough memory for the " + std::to_string(header->unpackedSize) + " bytes " + in +
                      " holds"};
    } catch (const std::length_error&) {
      throw ToolError{"not enough memory for the " + std::to_string(header->unpackedSize) + " bytes " + in +
                      " holds"};
    }
  }
  const auto result = lomar::xpress::Decompress(stream, content);
  if (result.status != DecodeStatus::ok) throw ToolError{in + " is corrupt: it does not decode"};
  WriteFileWhole(out, content);
  return 0;
}

int Info(const std::vector<std::string_view>& args) {
  if (args.size() != 1) throw ToolError{"info takes IN"};
  const std::string in(args[0]);
  const auto stream = ReadFile(in);
  if (stream.empty()) {
    std::printf("%s: empty (the stream of empty content)\n", in.c_str());
    return 0;
  }
  const auto header = lomar::xpress::ReadHeader(stream);
  if (!header) throw ToolError{in + " is not a buffer-mode XPRESS-Huffman stream"};
  std::printf("stream:        %zu bytes\n", stream.size());
  std::printf("header:        24 bytes, algorithm 4 (XPRESS-Huffman)\n");
  std::printf("checksum:      0x%02x (%s)\n", header->checksum, header->checksumMatches ? "matches" : "does not match");
  std::printf("unpacked size: %llu\n", static_cast<unsigned long long>(header->unpackedSize));
  std::printf("block size:    %llu\n", static_cast<unsigned long long>(header->blockSize));
  lomar::xpress::BlockCursor cursor(stream, *header);
  std::printf("%8s %14s %14s %14s  %s\n", "block", "offset", "stored", "unpacked", "kind");
  unsigned long long index = 0;
  while (const auto block = cursor.Next()) {
    std::printf("%8llu %14llu %14zu %14llu  %s\n", index++, static_cast<unsigned long long>(block->offset),
                block->bytes.size(), static_cast<unsigned long long>(block->unpackedSize),
                block->raw ? "raw" : "LZ77+Huffman");
  }
  if (!cursor.finished()) throw ToolError{in + " is corrupt: its blocks do not match its header"};
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(usage, stderr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(usage, stdout);
    return 0;
  }
  if (args[0] == "--version") {
    std::fputs("lomar-xpress " LOMAR_VERSION "\n", stdout);
    return 0;
  }
  const std::string_view command = args[0];
  args.erase(args.begin());
  try {
    if (command == "compress") return Compress(args);
    if (command == "decompress") return Decompress(args);
    if (command == "info") return Info(args);
    std::fprintf(stderr, "lomar-xpress: unknown command %.*s\n\n%s", static_cast<int>(command.size()),
                 command.data(), usage);
    return 2;
  } catch (const ToolError& e) {
    std::fprintf(stderr, "lomar-xpress: %s\n", e.message.c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lomar-xpress: %s\n", e.what());
    return 1;
  }
}
