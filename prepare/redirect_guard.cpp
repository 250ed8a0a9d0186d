#include "prepare/redirect_guard.h"

#include "core/failure.h"
#include "core/messages.h"
#include "core/path_text.h"
#include "prepare/file_calls.h"

namespace lomar {
namespace {

void Test(const std::wstring& path) {
  const DWORD attributes = files::Attributes(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    throw Failure{msg::redirectedPath};
}

}  // namespace

void RefuseRedirectedPath(std::wstring_view base, std::wstring_view relative) {
  // Each element joined on as the standard path append does it; nothing is normalised, and "." and ".."
  // are left for the file system to resolve.
  std::wstring current(base);
  Test(current);
  for (const TextView element : PathElements(relative)) {
    current = JoinPath(current, element);
    Test(current);
  }
}

}  // namespace lomar
