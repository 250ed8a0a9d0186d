// A DLL that is not a KnownDLL, loaded from the system folder only: the launcher runs from Downloads
// folders, where a DLL planted beside it must never be picked up in place of Windows' own.
#pragma once

#include <windows.h>

namespace lomar {

class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* name);
  ~SystemLibrary();
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  // The exported function, or null when the library or the function is missing.
  template <typename Function>
  Function Find(const char* name) const {
    return module_ == nullptr ? nullptr : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

// Whether the launcher runs under Wine (or Proton), whose ntdll says so.
bool RunningUnderWine();

}  // namespace lomar
