// Brings the runtime folder into agreement with the package: every entry's file in place with exactly its
// content, written only where it is missing or differs, and nothing else touched.
#pragma once

#include <string>

#include "package/package_view.h"
#include "prepare/content_digest.h"

namespace lomar {

// Entry by entry in stored order: guard, up-to-date test, then unpack, verify, stage, flush and rename for
// an entry that differs. With `showProgress` a progress window advances after each entry and closing it
// cancels the run. Throws Failure with the launcher's messages, or a standard file-system or allocation
// error; the decompressor and the window are released before it returns or throws. What was finished
// before a failure stays, and a staging file left by a failure is removed when its entry is next written.
void PrepareRuntime(const std::wstring& runtimeDir, const PackageView& entries, const ShaProvider& shaProvider,
                    bool showProgress);

}  // namespace lomar
