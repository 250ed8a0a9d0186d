// The name of the folder lock: one per executable folder and Windows session.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/text.h"

namespace lomar {

// "Local\LOMARPortable-" and the digest of the lower-cased folder path in lower-case hexadecimal: the
// per-session namespace, so that users signed in side by side never see each other's lock.
Text FolderLockName(std::span<const std::uint8_t, 32> folderDigest);

// The bytes the digest is taken of: the folder's text lower-cased, as UTF-16LE code units, with no
// terminator.
std::vector<std::uint8_t> FolderLockDigestInput(TextView exeDir);

}  // namespace lomar
