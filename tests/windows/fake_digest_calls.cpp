#include "fake_digest_calls.h"

#include <string_view>

#include "prepare/digest_calls.h"

namespace lomar {
namespace fake_digest {
namespace {

Setup setup;
std::map<std::string, int> calls;
digest_calls::Cng real;

bool Fails(const char* call) {
  ++calls[call];
  return std::string_view(setup.failing) == call;
}

NTSTATUS WINAPI Open(BCRYPT_ALG_HANDLE* handle, LPCWSTR algorithm, LPCWSTR implementation, ULONG flags) {
  return Fails("open") ? setup.status : real.open(handle, algorithm, implementation, flags);
}

NTSTATUS WINAPI Hash(BCRYPT_ALG_HANDLE handle, PUCHAR secret, ULONG secretSize, PUCHAR input, ULONG inputSize,
                     PUCHAR output, ULONG outputSize) {
  return Fails("hash") ? setup.status : real.hash(handle, secret, secretSize, input, inputSize, output, outputSize);
}

NTSTATUS WINAPI Close(BCRYPT_ALG_HANDLE handle, ULONG flags) {
  ++calls["close"];
  return real.close(handle, flags);
}

}  // namespace

void Reset(const Setup& s) {
  setup = s;
  calls.clear();
}

const std::map<std::string, int>& Calls() { return calls; }

}  // namespace fake_digest

namespace digest_calls {

Cng FindCng(const SystemLibrary& bcrypt) {
  fake_digest::real.open = bcrypt.Find<decltype(Cng::open)>("BCryptOpenAlgorithmProvider");
  fake_digest::real.hash = bcrypt.Find<decltype(Cng::hash)>("BCryptHash");
  fake_digest::real.close = bcrypt.Find<decltype(Cng::close)>("BCryptCloseAlgorithmProvider");
  if (std::string_view(fake_digest::setup.failing) == "find") return {};
  return {fake_digest::Open, fake_digest::Hash, fake_digest::Close};
}

bool UnderWine() {
  ++fake_digest::calls["underWine"];
  return fake_digest::setup.underWine;
}

}  // namespace digest_calls
}  // namespace lomar
