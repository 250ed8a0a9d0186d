// The one trace a failed run leaves: "LOMAR portable: " and the message, on standard error.
#pragma once

#include <cstddef>
#include <span>

#include "core/text.h"

namespace lomar {

// "LOMAR portable: ", the text in UTF-8 and a line feed, into `out`, without allocating; a text too long for
// it is cut at a whole character, and the line still ends in its line feed. Returns the bytes written.
std::size_t FormatReportLine(TextView text, std::span<char> out) noexcept;

}  // namespace lomar
