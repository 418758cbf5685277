#include "commands/lockedhub.h"

#include "link/clock.h"
#include "link/status.h"

Outcome LockHub(const std::string& device, HubLock* lock) {
  if (lock->Acquire(device, MonotonicMicros() + kLockWaitMicros) !=
      LockState::kHeld)
    return Failure(kPortBusy);
  return Success();
}

Outcome LockAndQueryHub(const std::string& device, HubLock* lock,
                        HubReport* report) {
  Outcome locked = LockHub(device, lock);
  if (!locked.Succeeded()) return locked;
  HubQuery query = QueryHub(device);
  if (query.status != kOK) return Failure(query.status);
  *report = query.report;
  return Success();
}
