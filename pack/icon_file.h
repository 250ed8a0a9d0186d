// An .ico file turned into the resources that give an executable its icon.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pack/resource_tree.h"

namespace lomar::pe {

// The images of an .ico file, and the RT_GROUP_ICON directory that lists them
// as RT_ICON 1 to n in the file's order.
struct IconSet {
  std::vector<std::span<const std::uint8_t>> images;  // inside the .ico bytes
  std::vector<std::uint8_t> groupDirectory;
};

// Throws IconError for anything but an icon directory of at least one image, each
// image a PNG or a bitmap lying in the file after the directory. Keeps spans of
// `ico`, which must outlive the result.
IconSet ReadIconFile(std::span<const std::uint8_t> ico);

// Removes every RT_ICON and RT_GROUP_ICON from `resources` and adds the set's
// instead. The group takes the name and language of the first group removed
// (ID 1 and language 0 when there was none), the images that language too. The
// added resources point into `icon`, which must outlive them.
void ReplaceIcon(std::vector<ResourceInput>& resources, const IconSet& icon);

}  // namespace lomar::pe
