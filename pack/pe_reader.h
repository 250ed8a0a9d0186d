// Reads the headers of a 64-bit Windows executable (PE32+) that a user handed the
// packer: the stub to pack, or a packed game to list, verify or extract. Nothing
// here trusts the file: every offset and size is tested against it first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace lomar::pe {

// Data directory slots used here.
inline constexpr std::size_t resourceDirectory = 2;
inline constexpr std::size_t certificateDirectory = 4;

inline constexpr std::uint32_t sectionInitializedData = 0x00000040;
inline constexpr std::uint32_t sectionReadable = 0x40000000;

struct DataDirectory {
  std::uint32_t address = 0;  // an RVA, except for the certificate table's file offset
  std::uint32_t size = 0;
};

struct Section {
  std::array<std::uint8_t, 8> name{};
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t characteristics = 0;

  // What the loader maps: the virtual size, or the raw size when a linker left that at 0.
  std::uint32_t VirtualExtent() const { return virtualSize != 0 ? virtualSize : rawSize; }
};

struct PeImage {
  std::span<const std::uint8_t> file;

  std::uint16_t machine = 0;
  std::uint32_t timeDateStamp = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t fileAlignment = 0;
  std::uint32_t sizeOfInitializedData = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::uint32_t checkSum = 0;
  // Only as many as the file declares, at most 16.
  std::vector<DataDirectory> directories;
  std::vector<Section> sections;

  // File offsets of the header fields that a new section changes.
  std::uint64_t fileHeaderOffset = 0;      // the COFF header, after "PE\0\0"
  std::uint64_t optionalHeaderOffset = 0;
  std::uint64_t sectionTableOffset = 0;

  // An Authenticode signature: embedding anything would break it.
  bool isSigned = false;
  // Where the last section's raw data ends (at least the end of the headers).
  std::uint64_t rawEnd = 0;
  // Bytes past rawEnd other than the certificate table: installers' appended data,
  // a COFF symbol table. A new section would have to be placed after them.
  std::uint64_t overlaySize = 0;

  DataDirectory Directory(std::size_t index) const {
    return index < directories.size() ? directories[index] : DataDirectory{};
  }
  std::uint64_t CheckSumOffset() const { return optionalHeaderOffset + 64; }
};

// Throws PeError for anything that is not a well-formed PE32+ image. Keeps a
// span of `file`, which must outlive the result.
PeImage ReadImage(std::span<const std::uint8_t> file);

// The file bytes at [rva, rva + size), which must lie inside one section's raw
// data. Throws PeError(`outside`) when they do not.
std::span<const std::uint8_t> MapRva(const PeImage& image, std::uint32_t rva, std::uint32_t size, const char* outside);

// The index of the section whose virtual range holds `rva`, if any.
std::optional<std::size_t> SectionHolding(const PeImage& image, std::uint32_t rva);

}  // namespace lomar::pe
