#include "prepare/redirect_guard.h"

#include <filesystem>

#include "core/failure.h"
#include "core/messages.h"
#include "prepare/file_calls.h"

namespace lomar {
namespace {

void Test(const std::filesystem::path& path) {
  const DWORD attributes = files::Attributes(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    throw Failure{msg::redirectedPath};
}

}  // namespace

void RefuseRedirectedPath(std::wstring_view base, std::wstring_view relative) {
  // The standard path iteration and append: runs of either separator split elements, a trailing one gives a
  // final empty element (the same folder again, with a trailing backslash), and nothing is normalised.
  std::filesystem::path current(base);
  Test(current);
  for (const std::filesystem::path& element : std::filesystem::path(relative)) {
    current /= element;
    Test(current);
  }
}

}  // namespace lomar
