// The resource directory: read from an image as a flat list, and laid out anew
// for the section that the packer adds.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/text.h"
#include "pack/pe_reader.h"

namespace lomar::pe {

inline constexpr std::uint16_t rtIcon = 3;
inline constexpr std::uint16_t rtRcData = 10;
inline constexpr std::uint16_t rtGroupIcon = 14;

// A resource type or name: an integer ID or a UTF-16 string.
class ResourceName {
 public:
  ResourceName(std::uint16_t id) : id_(id) {}  // NOLINT: IDs are written as plain numbers
  explicit ResourceName(Text text) : text_(std::move(text)), isText_(true) {}

  bool IsId() const { return !isText_; }
  std::uint16_t Id() const { return id_; }
  const Text& String() const { return text_; }

  bool operator==(const ResourceName&) const = default;
  // The order of a resource directory: strings first, by code unit, then IDs ascending.
  std::strong_ordering operator<=>(const ResourceName& other) const;

 private:
  std::uint16_t id_ = 0;
  Text text_;
  bool isText_ = false;
};

struct Resource {
  ResourceName type;
  ResourceName name;
  std::uint16_t language = 0;
  std::uint32_t codePage = 0;
  std::span<const std::uint8_t> data;  // inside the image's file
};

// Every resource of the image, in directory order; none when it has no resource
// directory. Throws PeError for a malformed tree: offsets outside the directory,
// data outside the sections, a table reached twice, other than three levels.
std::vector<Resource> ReadResources(const PeImage& image);

// The data of resource `type`/`name`: the language-neutral one if there is one,
// otherwise the first language listed.
std::optional<std::span<const std::uint8_t>> FindResourceData(std::span<const Resource> resources,
                                                              const ResourceName& type, const ResourceName& name);
std::optional<std::span<const std::uint8_t>> FindResourceData(const PeImage& image, const ResourceName& type,
                                                              const ResourceName& name);

// A resource to write. Its data is the concatenation of `pieces`, which are only
// spanned: what they point to must outlive the written image.
struct ResourceInput {
  ResourceName type;
  ResourceName name;
  std::uint16_t language = 0;
  std::uint32_t codePage = 0;
  std::vector<std::span<const std::uint8_t>> pieces;

  std::uint64_t Size() const;
};

// A resource read from a stub, to be written again unchanged.
ResourceInput Keep(const Resource& resource);

// A resource section's content: the directory (tables, data entries, name
// strings), then each resource's data at the offset given, all relative to the
// section's start.
struct ResourceLayout {
  struct Placement {
    const ResourceInput* resource;
    std::uint32_t offset;
  };
  std::vector<std::uint8_t> directory;
  std::vector<Placement> data;  // in directory order, at ascending offsets
  std::uint32_t size = 0;       // to the end of the last resource's data
};

// Lays out `resources` for a section at `sectionRva`. Throws PeError for two
// resources with the same type, name and language, and for sizes the format
// cannot hold. The layout points into `resources`.
ResourceLayout LayOutResources(std::span<const ResourceInput> resources, std::uint32_t sectionRva);

}  // namespace lomar::pe
