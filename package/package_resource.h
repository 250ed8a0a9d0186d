// The launcher's own package: RT_RCDATA resource 101 of its executable.
#pragma once

#include "package/package_view.h"

namespace lomar {

// Finds, sizes and locks the resource, then loads it. The resource stays mapped
// for the life of the process, so the view's spans stay valid.
PackageView LoadOwnPackage();

}  // namespace lomar
