#include "pack/version_resource.h"

#include <algorithm>
#include <charconv>

#include "pack/byte_appender.h"
#include "pack/byte_reader.h"

namespace lomar::pe {
namespace {

constexpr std::uint64_t fixedInfoSize = 52;
constexpr std::uint32_t fixedInfoSignature = 0xFEEF04BD;
constexpr std::uint16_t binaryValue = 0;
constexpr std::uint16_t textValue = 1;

[[noreturn]] void RefuseVersion(const std::string& message) { throw VersionError(message); }

std::string Quoted(TextView key) {
  std::string quoted(1, '"');
  quoted += ToUtf8(key);
  quoted += '"';
  return quoted;
}

// Blocks start on 32-bit boundaries of the resource; every reader here starts on one, so its own position
// tells the padding. A block may end without the padding that would follow its last byte.
void SkipPadding(ByteReader& reader) {
  reader.Skip(std::min<std::uint64_t>((4 - reader.Position() % 4) % 4, reader.Remaining()));
}

// Every block of the tree: wLength (its bytes, from its start to its last), wValueLength, wType, its key
// with a zero unit at its end, padding, its value, padding, its child blocks.
struct Block {
  Text key;
  std::uint16_t valueLength = 0;  // in bytes, or in UTF-16 units for a string's text
  ByteReader body;                // from the value on: the value, then the children
};

// The block at `parent`'s position, after any padding; `parent` moves past it.
Block NextBlock(ByteReader& parent) {
  SkipPadding(parent);
  ByteReader peek = parent;
  const std::uint16_t length = peek.ReadU16();
  ByteReader outer = parent.Window(length, "its version resource has a block longer than the block that holds it");
  ByteReader block(outer.Take(length), "its version resource has a block cut short", RefuseVersion);
  block.Skip(2);  // wLength, read above
  const std::uint16_t valueLength = block.ReadU16();
  block.Skip(2);  // wType: what a value is follows from where its block stands
  Text key;
  for (std::uint16_t unit; (unit = block.ReadU16()) != 0;) key.push_back(static_cast<Unit>(unit));
  SkipPadding(block);
  return Block{std::move(key), valueLength, block};
}

// The value's bytes; `block`'s body moves past them and the padding after them.
std::span<const std::uint8_t> Value(Block& block, std::uint64_t byteCount) {
  ByteReader value = block.body.Window(byteCount, "its version resource has a value longer than its block");
  const std::span<const std::uint8_t> bytes = value.Take(byteCount);
  SkipPadding(block.body);
  return bytes;
}

// Calls `visit` with each child block of `block`, whose value has been read.
template <typename Visit>
void ForEachChild(Block& block, Visit visit) {
  for (SkipPadding(block.body); block.body.Remaining() != 0; SkipPadding(block.body)) visit(NextBlock(block.body));
}

// StringFileInfo, StringTable and VarFileInfo hold only children.
void RequireNoValue(const Block& block) {
  if (block.valueLength != 0) RefuseVersion("its version resource gives the block " + Quoted(block.key) + " a value");
}

FixedFileInfo ReadFixed(std::span<const std::uint8_t> bytes) {
  ByteReader fields(bytes, "its version resource has a VS_FIXEDFILEINFO cut short", RefuseVersion);
  FixedFileInfo fixed;
  for (std::uint32_t* field : {&fixed.signature, &fixed.structVersion, &fixed.fileVersionMS, &fixed.fileVersionLS,
                               &fixed.productVersionMS, &fixed.productVersionLS, &fixed.fileFlagsMask,
                               &fixed.fileFlags, &fixed.fileOS, &fixed.fileType, &fixed.fileSubtype,
                               &fixed.fileDateMS, &fixed.fileDateLS})
    *field = fields.ReadU32();
  if (fixed.signature != fixedInfoSignature)
    RefuseVersion("its version resource has a VS_FIXEDFILEINFO without its signature 0xFEEF04BD");
  return fixed;
}

StringTable ReadStringTable(Block& table) {
  RequireNoValue(table);
  StringTable read{table.key, {}};
  ForEachChild(table, [&read](Block string) {
    ByteReader units(Value(string, std::uint64_t{string.valueLength} * 2), "", RefuseVersion);
    Text value;
    // The count includes the terminator; resource compilers differ on whether it is counted, so the
    // text ends at the first zero or at the count, whichever comes first.
    for (std::uint16_t unit; units.Remaining() >= 2 && (unit = units.ReadU16()) != 0;)
      value.push_back(static_cast<Unit>(unit));
    read.strings.push_back({std::move(string.key), std::move(value)});
  });
  return read;
}

class Writer {
 public:
  // Starts a block after the padding that aligns it; returns where it starts, for End.
  std::size_t Begin(TextView key, std::uint16_t valueLength, std::uint16_t type) {
    Pad();
    const std::size_t start = out_.size();
    U16(0);  // wLength, once the block is complete
    U16(valueLength);
    U16(type);
    for (const Unit unit : key) U16(static_cast<std::uint16_t>(unit));
    U16(0);
    Pad();
    return start;
  }
  // The length runs to the block's last byte: padding after it belongs to whatever comes next.
  void End(std::size_t start, TextView key) {
    const std::size_t length = out_.size() - start;
    if (length > 0xFFFF)
      RefuseVersion("its version information would need " + std::to_string(length) + " bytes in the block " +
                    Quoted(key) + ", more than the 65535 a version resource can hold");
    out_[start] = static_cast<std::uint8_t>(length);
    out_[start + 1] = static_cast<std::uint8_t>(length >> 8);
  }
  void U16(std::uint32_t value) { ByteAppender(out_).U16(value); }
  void U32(std::uint32_t value) { ByteAppender(out_).U32(value); }
  void Bytes(std::span<const std::uint8_t> bytes) { ByteAppender(out_).Bytes(bytes); }
  // A block's value starts on a 32-bit boundary, and so do the children after it.
  void Pad() { out_.resize((out_.size() + 3) & ~std::size_t{3}, 0); }
  std::vector<std::uint8_t> Take() { return std::move(out_); }

 private:
  std::vector<std::uint8_t> out_;
};

// The length field is 16 bits: a count past it is caught by End, whose block is then too long anyway.
std::uint16_t Short(std::size_t count) { return static_cast<std::uint16_t>(std::min<std::size_t>(count, 0xFFFF)); }

const TextView rootKey = LT("VS_VERSION_INFO");
const TextView stringFileInfoKey = LT("StringFileInfo");
const TextView varFileInfoKey = LT("VarFileInfo");
const TextView translationKey = LT("Translation");

}  // namespace

VersionInfo FreshVersionInfo() {
  VersionInfo info;
  info.fixed = FixedFileInfo{};
  info.stringTables.push_back({Text(LT("040904B0")), {}});
  info.vars.push_back({Text(translationKey), {0x09, 0x04, 0xB0, 0x04}});
  return info;
}

VersionInfo ReadVersionInfo(std::span<const std::uint8_t> resource) {
  ByteReader whole(resource, "its version resource is cut short", RefuseVersion);
  Block root = NextBlock(whole);
  if (root.key != rootKey)
    RefuseVersion("its version resource starts with " + Quoted(root.key) + ", not \"VS_VERSION_INFO\"");
  VersionInfo info;
  if (root.valueLength != 0) {
    if (root.valueLength != fixedInfoSize)
      RefuseVersion("its version resource has a fixed part of " + std::to_string(root.valueLength) +
                    " bytes, not the 52 of a VS_FIXEDFILEINFO");
    info.fixed = ReadFixed(Value(root, fixedInfoSize));
  }
  ForEachChild(root, [&info](Block child) {
    RequireNoValue(child);
    if (child.key == stringFileInfoKey) {
      ForEachChild(child, [&info](Block table) { info.stringTables.push_back(ReadStringTable(table)); });
    } else if (child.key == varFileInfoKey) {
      ForEachChild(child, [&info](Block var) {
        const std::span<const std::uint8_t> value = Value(var, var.valueLength);
        info.vars.push_back({std::move(var.key), {value.begin(), value.end()}});
      });
    } else {
      RefuseVersion("its version resource holds the block " + Quoted(child.key) +
                    " where only StringFileInfo and VarFileInfo belong");
    }
  });
  return info;
}

std::vector<std::uint8_t> WriteVersionInfo(const VersionInfo& info) {
  Writer out;
  const std::size_t root = out.Begin(rootKey, info.fixed ? fixedInfoSize : 0, binaryValue);
  if (info.fixed) {
    const FixedFileInfo& f = *info.fixed;
    for (const std::uint32_t field : {f.signature, f.structVersion, f.fileVersionMS, f.fileVersionLS,
                                      f.productVersionMS, f.productVersionLS, f.fileFlagsMask, f.fileFlags,
                                      f.fileOS, f.fileType, f.fileSubtype, f.fileDateMS, f.fileDateLS})
      out.U32(field);
  }
  if (!info.stringTables.empty()) {
    const std::size_t stringFileInfo = out.Begin(stringFileInfoKey, 0, textValue);
    for (const StringTable& table : info.stringTables) {
      const std::size_t tableStart = out.Begin(table.key, 0, textValue);
      for (const VersionString& string : table.strings) {
        // A string's value length counts UTF-16 units, its terminator included.
        const std::size_t start = out.Begin(string.key, Short(string.value.size() + 1), textValue);
        for (const Unit unit : string.value) out.U16(static_cast<std::uint16_t>(unit));
        out.U16(0);
        out.End(start, string.key);
      }
      out.End(tableStart, table.key);
    }
    out.End(stringFileInfo, stringFileInfoKey);
  }
  if (!info.vars.empty()) {
    const std::size_t varFileInfo = out.Begin(varFileInfoKey, 0, textValue);
    for (const VersionVar& var : info.vars) {
      const std::size_t start = out.Begin(var.key, Short(var.value.size()), binaryValue);
      out.Bytes(var.value);
      out.End(start, var.key);
    }
    out.End(varFileInfo, varFileInfoKey);
  }
  out.End(root, rootKey);
  return out.Take();
}

void SetVersionString(VersionInfo& info, TextView key, TextView value) {
  if (info.stringTables.empty()) {
    Text tableKey(LT("040904B0"));
    const auto translation = std::find_if(info.vars.begin(), info.vars.end(), [](const VersionVar& var) {
      return var.key == translationKey && var.value.size() >= 4;
    });
    if (translation != info.vars.end()) {
      // Language, then code page, each as four upper-case hex digits, as the string table's key is written.
      constexpr char digits[] = "0123456789ABCDEF";
      tableKey.clear();
      for (const int at : {1, 0, 3, 2}) {
        tableKey.push_back(static_cast<Unit>(digits[translation->value[at] >> 4]));
        tableKey.push_back(static_cast<Unit>(digits[translation->value[at] & 0xF]));
      }
    }
    info.stringTables.push_back({std::move(tableKey), {}});
  }
  for (StringTable& table : info.stringTables) {
    const auto found = std::find_if(table.strings.begin(), table.strings.end(),
                                    [key](const VersionString& string) { return string.key == key; });
    if (found != table.strings.end())
      found->value = Text(value);
    else
      table.strings.push_back({Text(key), Text(value)});
  }
}

std::optional<VersionNumber> ParseDottedVersion(std::string_view text) {
  std::uint32_t parts[4] = {};
  std::size_t count = 0;
  for (std::size_t start = 0;; ++count) {
    const std::size_t dot = std::min(text.find('.', start), text.size());
    const std::string_view part = text.substr(start, dot - start);
    const bool digits = std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (count == 4 || part.empty() || !digits) return std::nullopt;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), parts[count]);
    if (error != std::errc() || parts[count] > 0xFFFF) return std::nullopt;
    if (dot == text.size()) break;
    start = dot + 1;
  }
  return VersionNumber{parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
}

void ReplaceVersion(std::vector<ResourceInput>& resources, const ResourceName& name, std::uint16_t language,
                    std::uint32_t codePage, std::span<const std::uint8_t> bytes) {
  std::erase_if(resources, [](const ResourceInput& r) { return r.type == ResourceName(rtVersion); });
  resources.push_back({rtVersion, name, language, codePage, {bytes}});
}

}  // namespace lomar::pe
