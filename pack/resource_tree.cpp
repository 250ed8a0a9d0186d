#include "pack/resource_tree.h"

#include <algorithm>
#include <set>
#include <string>
#include <tuple>

#include "pack/byte_appender.h"
#include "pack/byte_reader.h"

namespace lomar::pe {
namespace {

constexpr std::uint32_t highBit = 0x80000000;
constexpr std::uint64_t tableHeaderSize = 16;
constexpr std::uint64_t entrySize = 8;
constexpr std::uint64_t dataEntrySize = 16;
constexpr int levels = 3;  // type, name, language

class TreeReader {
 public:
  TreeReader(const PeImage& image, std::span<const std::uint8_t> directory)
      : image_(image), directory_(directory, "its resource directory is cut short", RefuseExecutable) {}

  std::vector<Resource> Read() {
    Table(0, 1, ResourceName(0), ResourceName(0));
    return std::move(resources_);
  }

 private:
  ResourceName Name(std::uint32_t field) const {
    if ((field & highBit) == 0) {
      if (field > 0xFFFF) RefuseExecutable("a resource ID in its resource directory does not fit in 16 bits");
      return ResourceName(static_cast<std::uint16_t>(field));
    }
    ByteReader string = directory_.At(field & ~highBit, "a resource name lies outside its resource directory");
    const std::uint16_t length = string.ReadU16();
    ByteReader units = string.Window(length * std::uint64_t{2}, "a resource name runs past the end of its resource directory");
    Text text;
    text.reserve(length);
    for (std::uint16_t i = 0; i < length; ++i) text.push_back(static_cast<Unit>(units.ReadU16()));
    return ResourceName(std::move(text));
  }

  // `type` and `name` are those of the levels above; the root stands at level 1.
  void Table(std::uint32_t offset, int level, const ResourceName& type, const ResourceName& name) {
    // Every table reached once at most rules out loops, and trees whose size grows
    // as a power of the file's (many entries all pointing at one table).
    if (!visited_.insert(offset).second) RefuseExecutable("its resource directory reaches one table twice");
    ByteReader table = directory_.At(offset, "a resource directory table lies outside its resource directory");
    table.Skip(12);  // characteristics, time stamp, version
    const std::uint16_t named = table.ReadU16();
    const std::uint16_t numbered = table.ReadU16();
    ByteReader entries = table.Window((std::uint64_t{named} + numbered) * entrySize,
                                      "a resource directory table runs past the end of its resource directory");
    for (std::uint32_t i = 0; i < std::uint32_t{named} + numbered; ++i) {
      const std::uint32_t nameField = entries.ReadU32();
      const std::uint32_t target = entries.ReadU32();
      // The loader searches the named and the numbered entries apart, trusting the counts.
      if (((nameField & highBit) != 0) != (i < named)) {
        RefuseExecutable("a resource directory table lists its named and numbered entries out of place");
      }
      const ResourceName entryName = Name(nameField);
      if (level < levels) {
        if ((target & highBit) == 0) RefuseExecutable("its resource directory has fewer than three levels");
        Table(target & ~highBit, level + 1, level == 1 ? entryName : type, entryName);
        continue;
      }
      if ((target & highBit) != 0) RefuseExecutable("its resource directory has more than three levels");
      if (!entryName.IsId()) RefuseExecutable("its resource directory names a language with a string");
      Leaf(target, type, name, entryName.Id());
    }
  }

  void Leaf(std::uint32_t offset, const ResourceName& type, const ResourceName& name, std::uint16_t language) {
    ByteReader entry = directory_.At(offset, "a resource data entry lies outside its resource directory")
                           .Window(dataEntrySize, "a resource data entry runs past the end of its resource directory");
    const std::uint32_t rva = entry.ReadU32();
    const std::uint32_t size = entry.ReadU32();
    Resource& resource = resources_.emplace_back(Resource{type, name, language, entry.ReadU32(), {}});
    if (size != 0) resource.data = MapRva(image_, rva, size, "the data of a resource lies outside its sections");
  }

  const PeImage& image_;
  ByteReader directory_;
  std::set<std::uint32_t> visited_;
  std::vector<Resource> resources_;
};

std::uint64_t AlignUp8(std::uint64_t value) { return (value + 7) & ~std::uint64_t{7}; }

std::string Describe(const ResourceName& name) {
  if (name.IsId()) return std::to_string(name.Id());
  std::string quoted(1, '"');
  quoted += ToUtf8(name.String());
  quoted += '"';
  return quoted;
}

// One table of the tree being laid out: its entries' names and what each leads to.
struct Node {
  const ResourceName* name = nullptr;       // as the parent table lists it; none for the root
  std::vector<std::size_t> children;        // into the node list, or into the sorted resources at the last level
  std::uint64_t tableOffset = 0;
  std::uint64_t stringOffset = 0;           // of `name`, when it is a string
  bool listsLanguages = false;              // a name's table, whose children are resources
};

}  // namespace

std::strong_ordering ResourceName::operator<=>(const ResourceName& other) const {
  if (isText_ != other.isText_) return isText_ ? std::strong_ordering::less : std::strong_ordering::greater;
  if (!isText_) return id_ <=> other.id_;
  // Code units as unsigned 16-bit numbers: how the loader's binary search compares them.
  return std::lexicographical_compare_three_way(
      text_.begin(), text_.end(), other.text_.begin(), other.text_.end(),
      [](Unit a, Unit b) { return static_cast<std::uint16_t>(a) <=> static_cast<std::uint16_t>(b); });
}

std::vector<Resource> ReadResources(const PeImage& image) {
  const DataDirectory directory = image.Directory(resourceDirectory);
  if (directory.address == 0 || directory.size == 0) return {};
  if (!SectionHolding(image, directory.address)) RefuseExecutable("its resource directory lies outside its sections");
  const std::span<const std::uint8_t> bytes =
      MapRva(image, directory.address, directory.size, "its resource directory runs past the end of its section");
  return TreeReader(image, bytes).Read();
}

std::optional<std::span<const std::uint8_t>> FindResourceData(std::span<const Resource> resources,
                                                              const ResourceName& type, const ResourceName& name) {
  std::optional<std::span<const std::uint8_t>> found;
  for (const Resource& resource : resources) {
    if (resource.type != type || resource.name != name) continue;
    if (resource.language == 0) return resource.data;
    if (!found) found = resource.data;
  }
  return found;
}

std::optional<std::span<const std::uint8_t>> FindResourceData(const PeImage& image, const ResourceName& type,
                                                              const ResourceName& name) {
  return FindResourceData(ReadResources(image), type, name);
}

std::uint64_t ResourceInput::Size() const {
  std::uint64_t size = 0;
  for (const std::span<const std::uint8_t> piece : pieces) size += piece.size();
  return size;
}

ResourceInput Keep(const Resource& resource) {
  return ResourceInput{resource.type, resource.name, resource.language, resource.codePage, {resource.data}};
}

ResourceLayout LayOutResources(std::span<const ResourceInput> resources, std::uint32_t sectionRva) {
  std::vector<const ResourceInput*> sorted;
  for (const ResourceInput& resource : resources) sorted.push_back(&resource);
  const auto key = [](const ResourceInput* r) { return std::tie(r->type, r->name, r->language); };
  std::stable_sort(sorted.begin(), sorted.end(), [&](auto* a, auto* b) { return key(a) < key(b); });
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    if (key(sorted[i - 1]) == key(sorted[i])) {
      RefuseExecutable("two resources to embed share type " + Describe(sorted[i]->type) + ", name " +
                       Describe(sorted[i]->name) + " and language " + std::to_string(sorted[i]->language));
    }
  }

  // nodes[0] is the root, then the type tables, then the name tables, each level in order.
  std::vector<Node> nodes(1);
  std::vector<std::size_t> typeNodes;
  std::vector<std::size_t> nameNodes;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (i == 0 || sorted[i]->type != sorted[i - 1]->type) {
      typeNodes.push_back(nodes.size());
      nodes[0].children.push_back(nodes.size());
      nodes.push_back(Node{&sorted[i]->type, {}, 0, 0, false});
    }
    if (i == 0 || sorted[i]->type != sorted[i - 1]->type || sorted[i]->name != sorted[i - 1]->name) {
      nameNodes.push_back(nodes.size());
      nodes[typeNodes.back()].children.push_back(nodes.size());
      nodes.push_back(Node{&sorted[i]->name, {}, 0, 0, true});
    }
    nodes[nameNodes.back()].children.push_back(i);
  }
  // Breadth first, as resource compilers do: the root, the type tables, the name tables.
  std::vector<std::size_t> tableOrder = {0};
  tableOrder.insert(tableOrder.end(), typeNodes.begin(), typeNodes.end());
  tableOrder.insert(tableOrder.end(), nameNodes.begin(), nameNodes.end());

  std::uint64_t offset = 0;
  for (const std::size_t index : tableOrder) {
    Node& node = nodes[index];
    if (node.children.size() > 0xFFFF) RefuseExecutable("too many resources to embed in one directory table");
    node.tableOffset = offset;
    offset += tableHeaderSize + entrySize * node.children.size();
  }
  const std::uint64_t dataEntriesOffset = offset;
  offset += dataEntrySize * sorted.size();
  for (std::size_t index = 1; index < nodes.size(); ++index) {
    Node& node = nodes[index];
    if (node.name->IsId()) continue;
    if (node.name->String().size() > 0xFFFF) RefuseExecutable("a resource name to embed is too long");
    node.stringOffset = offset;
    offset += 2 + 2 * std::uint64_t{node.name->String().size()};
  }
  const std::uint64_t directorySize = AlignUp8(offset);
  // Offsets in directory entries leave the top bit to say what they point to.
  if (directorySize >= highBit) RefuseExecutable("too many resources to embed");

  ResourceLayout layout;
  std::uint64_t end = directorySize;
  for (const ResourceInput* resource : sorted) {
    const std::uint64_t start = AlignUp8(end);
    end = start + resource->Size();
    // Every data RVA, and the section's end, must fit in 32 bits.
    if (end > 0xFFFFFFFFu - sectionRva) RefuseExecutable("the resources to embed are too large for an executable");
    layout.data.push_back({resource, static_cast<std::uint32_t>(start)});
  }
  layout.size = static_cast<std::uint32_t>(end);

  std::vector<std::uint8_t>& out = layout.directory;
  out.reserve(directorySize);
  ByteAppender append(out);
  for (const std::size_t index : tableOrder) {
    const Node& node = nodes[index];
    const bool lastLevel = node.listsLanguages;
    std::uint32_t named = 0;
    for (const std::size_t child : node.children) {
      if (!lastLevel && !nodes[child].name->IsId()) ++named;
    }
    append.U32(0);
    append.U32(0);  // no time stamp: the same input gives the same bytes
    append.U32(0);
    append.U16(named);
    append.U16(static_cast<std::uint32_t>(node.children.size()) - named);
    for (const std::size_t child : node.children) {
      if (lastLevel) {
        append.U32(sorted[child]->language);
        append.U32(static_cast<std::uint32_t>(dataEntriesOffset + dataEntrySize * child));
        continue;
      }
      const Node& target = nodes[child];
      append.U32(target.name->IsId() ? target.name->Id() : highBit | static_cast<std::uint32_t>(target.stringOffset));
      append.U32(highBit | static_cast<std::uint32_t>(target.tableOffset));
    }
  }
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    append.U32(sectionRva + layout.data[i].offset);
    append.U32(static_cast<std::uint32_t>(sorted[i]->Size()));
    append.U32(sorted[i]->codePage);
    append.U32(0);
  }
  for (std::size_t index = 1; index < nodes.size(); ++index) {
    const ResourceName& name = *nodes[index].name;
    if (name.IsId()) continue;
    append.U16(static_cast<std::uint32_t>(name.String().size()));
    for (const Unit unit : name.String()) append.U16(static_cast<std::uint16_t>(unit));
  }
  out.resize(directorySize, 0);
  return layout;
}

}  // namespace lomar::pe
