#include "pack/icon_file.h"

#include <algorithm>
#include <string>

#include "pack/byte_appender.h"
#include "pack/byte_reader.h"

namespace lomar::pe {
namespace {

constexpr std::uint64_t fileEntrySize = 16;
constexpr std::uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t bitmapInfoHeaderSize = 40;

bool IsImage(std::span<const std::uint8_t> image) {
  if (image.size() >= sizeof pngSignature && std::equal(std::begin(pngSignature), std::end(pngSignature), image.begin())) {
    return true;
  }
  ByteReader header(image, "", RefuseIcon);
  return image.size() >= bitmapInfoHeaderSize && header.ReadU32() == bitmapInfoHeaderSize;
}

}  // namespace

IconSet ReadIconFile(std::span<const std::uint8_t> ico) {
  ByteReader file(ico, "is not an icon file (too short for an icon directory)", RefuseIcon);
  const std::uint16_t reserved = file.ReadU16();
  const std::uint16_t type = file.ReadU16();
  if (reserved != 0 || type != 1) RefuseIcon("is not an icon file (no icon directory at its start)");
  const std::uint16_t count = file.ReadU16();
  if (count == 0) RefuseIcon("holds no images");
  ByteReader entries = file.Window(count * fileEntrySize, "is cut short within its icon directory");
  const std::uint64_t directoryEnd = file.Position();

  IconSet icon;
  ByteAppender group(icon.groupDirectory);
  group.U16(0);
  group.U16(1);
  group.U16(count);
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::string which = "its image " + std::to_string(i + 1);
    // Width, height, colour count, reserved, planes, bit count: the group lists them as the file does.
    const std::span<const std::uint8_t> description = entries.Take(8);
    const std::uint32_t size = entries.ReadU32();
    const std::uint32_t offset = entries.ReadU32();
    if (size == 0) RefuseIcon(which + " is empty");
    if (offset < directoryEnd) RefuseIcon(which + " overlaps the icon directory");
    const std::string outside = which + " lies past the end of the file";
    const std::span<const std::uint8_t> image = file.At(offset, outside.c_str()).Take(size);
    if (!IsImage(image)) RefuseIcon(which + " is neither a PNG image nor a bitmap");
    icon.images.push_back(image);

    group.Bytes(description);
    group.U32(size);
    group.U16(i + 1u);  // the RT_ICON ID that ReplaceIcon gives the image
  }
  return icon;
}

void ReplaceIcon(std::vector<ResourceInput>& resources, const IconSet& icon) {
  ResourceName groupName(1);
  std::uint16_t language = 0;
  const auto firstGroup = std::find_if(resources.begin(), resources.end(), [](const ResourceInput& r) {
    return r.type == ResourceName(rtGroupIcon);
  });
  if (firstGroup != resources.end()) {
    groupName = firstGroup->name;
    language = firstGroup->language;
  }
  std::erase_if(resources, [](const ResourceInput& r) {
    return r.type == ResourceName(rtIcon) || r.type == ResourceName(rtGroupIcon);
  });
  for (std::size_t i = 0; i < icon.images.size(); ++i) {
    resources.push_back({rtIcon, static_cast<std::uint16_t>(i + 1), language, 0, {icon.images[i]}});
  }
  resources.push_back({rtGroupIcon, groupName, language, 0, {icon.groupDirectory}});
}

}  // namespace lomar::pe
