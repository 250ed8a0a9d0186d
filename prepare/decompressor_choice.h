// The launcher's decompressor: the Windows Compression API where Windows has it, the codec's own decoder
// where it does not (Wine's cabinet.dll has none) and under Wine and Proton, with the same contract and
// the same messages.
#pragma once

#include <memory>

#include "prepare/unpack.h"

namespace lomar {

// Throws Failure msg::cannotOpenDecompressor with the Windows error suffix when the Compression API is
// there but cannot create a decompressor.
std::unique_ptr<Decompressor> OpenDecompressor();

}  // namespace lomar
