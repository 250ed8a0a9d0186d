// The engine's file calls as the Windows tests link them: straight through to Windows, counted, except one
// chosen call that fails with a chosen Windows error.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace lomar::fake {

struct Fault {
  const char* call = "";  // "Delete", "Create", "Write", "Flush", "Move", "Attributes", "AttributesAndSize"
  DWORD error = 0;
  bool shortWrite = false;  // Write: succeed but write one byte less
};

// What the calls did since the last Reset.
struct Record {
  std::map<std::string, int> calls;
  std::vector<std::wstring> attributePaths;  // every path Attributes was asked about, in order
};

void Reset(const Fault& fault = {});
const Record& Calls();
// Attributes answers for these paths instead of asking Windows.
void PretendAttributes(const std::map<std::wstring, DWORD>& answers);

}  // namespace lomar::fake
