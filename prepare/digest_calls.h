// The calls behind the run's SHA-256 provider: CNG's three functions and the one question that decides who
// computes the digests. The launcher links digest_calls.cpp, which asks Windows straight through; a Windows
// test links calls of its own that count, answer the question as told and fail on demand, to show which
// way the digests go and the messages each failure reaches the user with. The shipped launcher has no
// switch of any kind.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include "core/system_library.h"

namespace lomar::digest_calls {

struct Cng {
  NTSTATUS(WINAPI* open)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG) = nullptr;
  NTSTATUS(WINAPI* hash)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, PUCHAR, ULONG, PUCHAR, ULONG) = nullptr;
  NTSTATUS(WINAPI* close)(BCRYPT_ALG_HANDLE, ULONG) = nullptr;
};

// bcrypt's functions from the library the provider loaded; each null where it is missing.
Cng FindCng(const SystemLibrary& bcrypt);

// Whether the launcher runs under Wine or Proton, whose CNG hashes in plain code at a fraction of what the
// processor can do.
bool UnderWine();

}  // namespace lomar::digest_calls
