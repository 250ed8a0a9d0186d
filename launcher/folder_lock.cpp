#include "launcher/folder_lock.h"

#include "core/check_windows.h"
#include "core/failure.h"
#include "core/messages.h"
#include "launcher/lock_name.h"

namespace lomar {

FolderLock::FolderLock(TextView exeDir, const ShaProvider& shaProvider) {
  const std::vector<std::uint8_t> input = FolderLockDigestInput(exeDir);
  const Digest digest = Sha256Digest(shaProvider, input.data(), input.size());
  const Text name = FolderLockName(digest);
  // Test and creation are one call, so two launchers starting together cannot both pass. Nobody ever
  // waits on the mutex: its existence is the lock.
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
  const DWORD error = GetLastError();
  CheckWindows(mutex != nullptr, msg::cannotLockFolder);
  // Owned from here, so that a refusal closes it while it unwinds.
  mutex_.Reset(mutex);
  if (error == ERROR_ALREADY_EXISTS) throw Failure{msg::alreadyRunning};
}

}  // namespace lomar
