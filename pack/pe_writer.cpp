#include "pack/pe_writer.h"

#include <algorithm>
#include <string>

#include "pack/byte_reader.h"
#include "pack/pe_checksum.h"

namespace lomar::pe {
namespace {

constexpr std::uint64_t sectionHeaderSize = 40;
// Wine maps an image from the file, rather than reading all of it into private
// memory at every start, only when every section starts at a multiple of 4096.
constexpr std::uint32_t mappableRawAlignment = 4096;
constexpr std::uint32_t maxFileAlignment = 0x10000;
constexpr std::uint32_t resourceCharacteristics = sectionInitializedData | sectionReadable;
constexpr std::uint8_t resourceSectionName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};

// Field offsets within the headers.
constexpr std::uint64_t numberOfSectionsField = 2;  // in the COFF header
constexpr std::uint64_t sizeOfInitializedDataField = 8;  // in the optional header, as the next two
constexpr std::uint64_t sizeOfImageField = 56;
constexpr std::uint64_t dataDirectoriesField = 112;

constexpr std::uint8_t zeros[4096] = {};

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Writes into the copy of the stub's headers, at offsets the reader found inside them.
void Put(std::vector<std::uint8_t>& bytes, std::uint64_t offset, std::uint64_t value, int byteCount) {
  for (int i = 0; i < byteCount; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

class Pieces {
 public:
  explicit Pieces(std::vector<std::span<const std::uint8_t>>& pieces) : pieces_(pieces) {}

  void Add(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    pieces_.push_back(bytes);
    size_ += bytes.size();
  }
  void Zeros(std::uint64_t count) {
    for (; count != 0; count -= std::min<std::uint64_t>(count, sizeof zeros)) {
      Add(std::span(zeros).first(std::min<std::uint64_t>(count, sizeof zeros)));
    }
  }
  void ZerosTo(std::uint64_t size) { Zeros(size - size_); }
  std::uint64_t Size() const { return size_; }

 private:
  std::vector<std::span<const std::uint8_t>>& pieces_;
  std::uint64_t size_ = 0;
};

std::uint64_t RawEnd(const Section& section) { return std::uint64_t{section.rawOffset} + section.rawSize; }
std::uint64_t VirtualEnd(const Section& section) {
  return std::uint64_t{section.virtualAddress} + section.VirtualExtent();
}

void CheckStub(const PeImage& stub) {
  if (stub.isSigned) {
    RefuseExecutable("is signed (Authenticode): embedding would break the signature; sign after packing");
  }
  if (stub.overlaySize != 0) {
    RefuseExecutable("has " + std::to_string(stub.overlaySize) +
                     " bytes of data after its last section, which packing cannot keep");
  }
  if (stub.directories.size() <= resourceDirectory) {
    RefuseExecutable("has no resource entry among its data directories");
  }
  if (!IsPowerOfTwo(stub.fileAlignment) || !IsPowerOfTwo(stub.sectionAlignment)) {
    RefuseExecutable("has a file or section alignment that is not a power of two");
  }
  // Past this the loader refuses the image, and padding to it could cost gigabytes.
  if (stub.fileAlignment > maxFileAlignment) RefuseExecutable("has a file alignment above 64 KiB");
}

// The new section's header goes where the table ends, which must lie inside the
// headers and before every section's data.
void CheckHeaderSlot(const PeImage& stub, std::span<const Section> kept, std::uint64_t slot, bool replacing) {
  bool free = slot + sectionHeaderSize <= stub.sizeOfHeaders;
  for (const Section& section : kept) {
    if (section.rawSize != 0 && section.rawOffset < slot + sectionHeaderSize) free = false;
  }
  if (free && !replacing) {
    // Something else may live right after the table (old linkers put bound imports there).
    const char* const taken = "has no room for one more section header";
    const std::span<const std::uint8_t> bytes =
        ByteReader(stub.file, taken, RefuseExecutable).At(slot, taken).Take(sectionHeaderSize);
    free = std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
  }
  if (!free) RefuseExecutable("has no room for one more section header before its first section");
}

// The new section must not cover memory that something the loader reads already claims.
void CheckDirectoriesBelow(const PeImage& stub, std::uint64_t virtualAddress) {
  for (std::size_t i = 0; i < stub.directories.size(); ++i) {
    const DataDirectory directory = stub.directories[i];
    if (i == resourceDirectory || i == certificateDirectory || directory.size == 0) continue;
    if (std::uint64_t{directory.address} + directory.size > virtualAddress) {
      RefuseExecutable("its data directory " + std::to_string(i) + " reaches past its sections");
    }
  }
}

}  // namespace

std::optional<std::size_t> ResourceSectionToReplace(const PeImage& stub) {
  if (stub.sections.empty()) return std::nullopt;
  const std::size_t last = stub.sections.size() - 1;
  const Section& section = stub.sections[last];
  const DataDirectory resources = stub.Directory(resourceDirectory);
  if (resources.address == 0 || resources.size == 0 || SectionHolding(stub, resources.address) != last) {
    return std::nullopt;
  }
  if (section.rawSize == 0 || RawEnd(section) != stub.file.size() || section.rawOffset < stub.sizeOfHeaders) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < last; ++i) {
    const Section& other = stub.sections[i];
    if ((other.rawSize != 0 && RawEnd(other) > section.rawOffset) || VirtualEnd(other) > section.virtualAddress) {
      return std::nullopt;
    }
  }
  for (std::size_t i = 0; i < stub.directories.size(); ++i) {
    if (i == resourceDirectory || i == certificateDirectory) continue;
    const DataDirectory directory = stub.directories[i];
    if (directory.size == 0) continue;
    if (directory.address >= section.virtualAddress && directory.address < VirtualEnd(section)) return std::nullopt;
  }
  return last;
}

PackedImage WriteImage(const PeImage& stub, std::span<const ResourceInput> resources) {
  CheckStub(stub);
  const std::optional<std::size_t> replaced = ResourceSectionToReplace(stub);
  const std::size_t keptCount = replaced ? *replaced : stub.sections.size();
  const std::span<const Section> kept = std::span(stub.sections).first(keptCount);
  if (keptCount + 1 > 0xFFFF) RefuseExecutable("has too many sections to add one");

  std::uint64_t rawEnd = stub.sizeOfHeaders;
  std::uint64_t virtualEnd = stub.sizeOfHeaders;
  for (const Section& section : kept) {
    if (section.rawSize != 0) rawEnd = std::max(rawEnd, RawEnd(section));
    virtualEnd = std::max(virtualEnd, VirtualEnd(section));
  }
  const std::uint64_t headerSlot = stub.sectionTableOffset + sectionHeaderSize * keptCount;
  CheckHeaderSlot(stub, kept, headerSlot, replaced.has_value());

  const std::uint64_t virtualAddress = AlignUp(virtualEnd, stub.sectionAlignment);
  const std::uint64_t rawOffset = AlignUp(rawEnd, std::max(stub.fileAlignment, mappableRawAlignment));
  if (virtualAddress > 0xFFFFFFFFu) RefuseExecutable("the resources to embed are too large for an executable");
  CheckDirectoriesBelow(stub, virtualAddress);
  PackedImage image;
  ResourceLayout layout = LayOutResources(resources, static_cast<std::uint32_t>(virtualAddress));
  const std::uint64_t rawSize = AlignUp(layout.size, stub.fileAlignment);
  const std::uint64_t sizeOfImage = virtualAddress + AlignUp(layout.size, stub.sectionAlignment);
  if (rawOffset + rawSize > 0xFFFFFFFFu || sizeOfImage > 0xFFFFFFFFu) {
    RefuseExecutable("the resources to embed are too large for an executable");
  }

  const std::span<const std::uint8_t> headers =
      ByteReader(stub.file, "its headers run past the end of the file", RefuseExecutable).Take(stub.sizeOfHeaders);
  image.headers_.assign(headers.begin(), headers.end());
  std::vector<std::uint8_t>& out = image.headers_;
  std::uint32_t initializedData = stub.sizeOfInitializedData;
  // Unsigned wrap-around keeps repacking exact even for a stub whose field was already wrong.
  if (replaced && (stub.sections[*replaced].characteristics & sectionInitializedData) != 0) {
    initializedData -= stub.sections[*replaced].rawSize;
  }
  initializedData += static_cast<std::uint32_t>(rawSize);
  Put(out, stub.fileHeaderOffset + numberOfSectionsField, keptCount + 1, 2);
  Put(out, stub.optionalHeaderOffset + sizeOfInitializedDataField, initializedData, 4);
  Put(out, stub.optionalHeaderOffset + sizeOfImageField, sizeOfImage, 4);
  Put(out, stub.CheckSumOffset(), 0, 4);
  const std::uint64_t resourceEntry = stub.optionalHeaderOffset + dataDirectoriesField + 8 * resourceDirectory;
  Put(out, resourceEntry, virtualAddress, 4);
  Put(out, resourceEntry + 4, layout.size, 4);
  std::copy(std::begin(resourceSectionName), std::end(resourceSectionName), out.begin() + headerSlot);
  Put(out, headerSlot + 8, layout.size, 4);
  Put(out, headerSlot + 12, virtualAddress, 4);
  Put(out, headerSlot + 16, rawSize, 4);
  Put(out, headerSlot + 20, rawOffset, 4);
  Put(out, headerSlot + 24, 0, 8);  // relocations and line numbers: none in an image
  Put(out, headerSlot + 32, 0, 4);
  Put(out, headerSlot + 36, resourceCharacteristics, 4);

  image.directory_ = std::move(layout.directory);
  Pieces pieces(image.pieces_);
  pieces.Add(image.headers_);
  pieces.Add(ByteReader(stub.file, "is cut short", RefuseExecutable)
                 .At(stub.sizeOfHeaders, "its headers run past the end of the file")
                 .Take(rawEnd - stub.sizeOfHeaders));
  pieces.ZerosTo(rawOffset);
  pieces.Add(image.directory_);
  for (const ResourceLayout::Placement& placement : layout.data) {
    pieces.ZerosTo(rawOffset + placement.offset);
    for (const std::span<const std::uint8_t> piece : placement.resource->pieces) pieces.Add(piece);
  }
  pieces.ZerosTo(rawOffset + rawSize);
  image.size_ = pieces.Size();

  Put(out, stub.CheckSumOffset(), PeChecksum(image.pieces_, stub.CheckSumOffset()), 4);
  return image;
}

}  // namespace lomar::pe
