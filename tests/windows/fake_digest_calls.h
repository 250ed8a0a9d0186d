// The provider's calls as the Windows route test links them: CNG's real functions, counted, with a chosen
// one failing with a chosen status, and the Wine question answered as the test says.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace lomar::fake_digest {

struct Setup {
  bool underWine = false;
  const char* failing = "";  // "open", "hash", or "find" (FindCng finds nothing)
  NTSTATUS status = 0;
};

void Reset(const Setup& setup);
// Calls since the last Reset: "open", "hash", "close", "underWine".
const std::map<std::string, int>& Calls();

}  // namespace lomar::fake_digest
