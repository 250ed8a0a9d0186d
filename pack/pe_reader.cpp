#include "pack/pe_reader.h"

#include <algorithm>
#include <string>

#include "pack/byte_reader.h"

namespace lomar::pe {
namespace {

constexpr std::uint16_t pe32Magic = 0x10B;
constexpr std::uint16_t pe32PlusMagic = 0x20B;
// The PE32+ optional header up to its data directories.
constexpr std::uint64_t optionalHeaderFixedSize = 112;
constexpr std::uint32_t maxDirectories = 16;
constexpr std::uint64_t sectionHeaderSize = 40;

std::string Hex(std::uint64_t value) {
  const char digits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

std::string SectionLabel(std::size_t index, const Section& section) {
  std::string name;
  for (const std::uint8_t c : section.name) {
    if (c == 0) break;
    name += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  return "section " + std::to_string(index + 1) + " (" + name + ")";
}

void ReadOptionalHeader(ByteReader optional, PeImage& image) {
  const std::uint16_t magic = optional.ReadU16();
  if (magic == pe32Magic) RefuseExecutable("is a 32-bit executable; the launcher stub is 64-bit (PE32+)");
  if (magic != pe32PlusMagic) RefuseExecutable("has an optional header of unknown kind (magic " + Hex(magic) + ")");
  optional.Skip(6);  // linker version, SizeOfCode
  image.sizeOfInitializedData = optional.ReadU32();
  optional.Skip(20);  // SizeOfUninitializedData, AddressOfEntryPoint, BaseOfCode, ImageBase
  image.sectionAlignment = optional.ReadU32();
  image.fileAlignment = optional.ReadU32();
  optional.Skip(16);  // versions, Win32VersionValue
  image.sizeOfImage = optional.ReadU32();
  image.sizeOfHeaders = optional.ReadU32();
  image.checkSum = optional.ReadU32();
  optional.Skip(40);  // subsystem, DLL characteristics, stack and heap sizes, loader flags
  const std::uint32_t declared = optional.ReadU32();
  // The loader reads no more than 16 whatever the count says; so do we.
  const std::uint32_t count = std::min(declared, maxDirectories);
  ByteReader table = optional.Window(count * std::uint64_t{8}, "its optional header is too small for its data directories");
  for (std::uint32_t i = 0; i < count; ++i) {
    DataDirectory& directory = image.directories.emplace_back();
    directory.address = table.ReadU32();
    directory.size = table.ReadU32();
  }
}

void ReadSectionTable(ByteReader table, std::uint16_t count, PeImage& image) {
  for (std::uint16_t i = 0; i < count; ++i) {
    Section& section = image.sections.emplace_back();
    const std::span<const std::uint8_t> name = table.Take(section.name.size());
    std::copy(name.begin(), name.end(), section.name.begin());
    section.virtualSize = table.ReadU32();
    section.virtualAddress = table.ReadU32();
    section.rawSize = table.ReadU32();
    section.rawOffset = table.ReadU32();
    table.Skip(12);  // relocation and line-number pointers and counts: unused in images
    section.characteristics = table.ReadU32();
  }
}

void MeasureRawData(PeImage& image) {
  const ByteReader file(image.file, "is cut short", RefuseExecutable);
  file.At(image.sizeOfHeaders, "its headers run past the end of the file");
  image.rawEnd = image.sizeOfHeaders;
  for (std::size_t i = 0; i < image.sections.size(); ++i) {
    const Section& section = image.sections[i];
    if (section.rawSize == 0) continue;
    const std::string outside = "its " + SectionLabel(i, section) + " runs past the end of the file";
    file.At(section.rawOffset, outside.c_str()).Take(section.rawSize);
    image.rawEnd = std::max<std::uint64_t>(image.rawEnd, std::uint64_t{section.rawOffset} + section.rawSize);
  }
  image.overlaySize = image.file.size() - image.rawEnd;

  const DataDirectory certificates = image.Directory(certificateDirectory);
  image.isSigned = certificates.size != 0;
  // The certificate table is the one thing that may follow the sections without being an overlay.
  const std::uint64_t certificatesEnd = std::uint64_t{certificates.address} + certificates.size;
  if (image.isSigned && certificates.address >= image.rawEnd && certificatesEnd <= image.file.size()) {
    image.overlaySize -= certificates.size;
  }
}

}  // namespace

PeImage ReadImage(std::span<const std::uint8_t> file) {
  PeImage image;
  image.file = file;
  ByteReader dos(file, "is not a Windows executable (too short for an MZ header)", RefuseExecutable);
  if (dos.ReadU16() != 0x5A4D) RefuseExecutable("is not a Windows executable (no MZ header)");
  dos.Skip(0x3A);
  const std::uint32_t newHeader = dos.ReadU32();

  ByteReader pe = dos.At(newHeader, "is not a Windows executable (its PE header lies past the end of the file)");
  const std::span<const std::uint8_t> signature = pe.Take(4);
  const std::uint8_t expected[] = {'P', 'E', 0, 0};
  if (!std::equal(signature.begin(), signature.end(), expected)) {
    RefuseExecutable("is not a Windows executable (no PE signature)");
  }

  image.fileHeaderOffset = pe.Position();
  ByteReader fileHeader = pe.Window(20, "its PE header runs past the end of the file");
  image.machine = fileHeader.ReadU16();
  const std::uint16_t sectionCount = fileHeader.ReadU16();
  image.timeDateStamp = fileHeader.ReadU32();
  fileHeader.Skip(8);  // COFF symbol table pointer and count
  const std::uint16_t optionalSize = fileHeader.ReadU16();
  if (optionalSize < optionalHeaderFixedSize) {
    // Too small to be PE32+; say what it is if the magic is there to tell.
    ByteReader peek = pe.At(pe.Position(), "is not a Windows executable (it has no optional header)");
    if (optionalSize >= 2 && peek.ReadU16() == pe32Magic) {
      RefuseExecutable("is a 32-bit executable; the launcher stub is 64-bit (PE32+)");
    }
    RefuseExecutable("is not a 64-bit Windows executable (its optional header is too small)");
  }

  image.optionalHeaderOffset = pe.Position();
  ReadOptionalHeader(pe.Window(optionalSize, "its optional header runs past the end of the file"), image);

  image.sectionTableOffset = pe.Position();
  ReadSectionTable(pe.Window(sectionCount * sectionHeaderSize, "its section table runs past the end of the file"),
                   sectionCount, image);
  MeasureRawData(image);
  return image;
}

std::optional<std::size_t> SectionHolding(const PeImage& image, std::uint32_t rva) {
  for (std::size_t i = 0; i < image.sections.size(); ++i) {
    const Section& section = image.sections[i];
    if (rva >= section.virtualAddress && rva - section.virtualAddress < section.VirtualExtent()) return i;
  }
  return std::nullopt;
}

std::span<const std::uint8_t> MapRva(const PeImage& image, std::uint32_t rva, std::uint32_t size,
                                     const char* outside) {
  const std::optional<std::size_t> index = SectionHolding(image, rva);
  if (!index) RefuseExecutable(outside);
  const Section& section = image.sections[*index];
  // ReadImage has tested that every section's raw data lies inside the file.
  ByteReader raw = ByteReader(image.file, outside, RefuseExecutable)
                       .At(section.rawOffset, outside)
                       .Window(section.rawSize, outside);
  return raw.At(rva - section.virtualAddress, outside).Take(size);
}

}  // namespace lomar::pe
