#include "prepare/digest_calls.h"

namespace lomar::digest_calls {

Cng FindCng(const SystemLibrary& bcrypt) {
  Cng cng;
  cng.open = bcrypt.Find<decltype(cng.open)>("BCryptOpenAlgorithmProvider");
  cng.hash = bcrypt.Find<decltype(cng.hash)>("BCryptHash");
  cng.close = bcrypt.Find<decltype(cng.close)>("BCryptCloseAlgorithmProvider");
  return cng;
}

bool UnderWine() { return RunningUnderWine(); }

}  // namespace lomar::digest_calls
