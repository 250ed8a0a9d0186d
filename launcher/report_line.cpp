#include "launcher/report_line.h"

#include <string_view>

namespace lomar {

std::size_t FormatReportLine(TextView text, std::span<char> out) noexcept {
  constexpr std::string_view prefix = "LOMAR portable: ";
  if (out.size() < prefix.size() + 1) return 0;
  std::size_t written = prefix.copy(out.data(), prefix.size());
  written += ToUtf8(text, out.subspan(written, out.size() - written - 1));
  out[written++] = '\n';
  return written;
}

}  // namespace lomar
