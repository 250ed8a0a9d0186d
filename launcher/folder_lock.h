// One launcher at a time per executable folder: a named mutex whose existence is the lock.
#pragma once

#include "core/handle.h"
#include "core/text.h"
#include "prepare/content_digest.h"

namespace lomar {

class FolderLock {
 public:
  // Takes the lock for exeDir, or throws Failure: msg::alreadyRunning when another launcher holds it,
  // msg::cannotLockFolder with the Windows error suffix when the mutex cannot be created or opened (its
  // name taken by an object of another kind, or one this user may not open). Held until destroyed; the
  // handle is not inheritable, so the game never holds it.
  FolderLock(TextView exeDir, const ShaProvider& shaProvider);

 private:
  Handle mutex_;
};

}  // namespace lomar
