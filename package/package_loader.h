// Checks a package image in one forward pass and describes its entries.
#pragma once

#include <cstdint>

#include "package/package_view.h"

namespace lomar {

// Throws msg::invalidPackageSize unless the image size lies within the format's
// bounds; the first test of a load, made before the image is even read.
void CheckImageSize(std::uint64_t size);

// The whole view or a Failure, never part of a view. The image is only read,
// and the view's stored spans point into it, so it must outlive the view.
PackageView LoadPackage(const std::uint8_t* image, std::uint64_t size);

}  // namespace lomar
