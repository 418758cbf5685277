#include "commands/lockedhub.h"

#include "link/clock.h"
#include "link/status.h"

Outcome LockHub(const std::string& device, HubLock* lock,
                const char* cannot_open) {
  switch (lock->Acquire(device, MonotonicMicros() + kLockWaitMicros)) {
    case LockState::kHeld: return Success();
    case LockState::kBusy: return Failure(kPortBusy);
    case LockState::kNoDescriptors: break;
  }
  return Failure(cannot_open);
}

PortUse CommandPortUse(HubLock* lock) {
  return {lock->Pin(), &kDriverSerialFlags};
}

Outcome LockAndQueryHub(const std::string& device, HubLock* lock,
                        HubReport* report) {
  Outcome locked = LockHub(device, lock, kQueryErr);
  if (!locked.Succeeded()) return locked;
  HubQuery query = QueryHub(device, CommandPortUse(lock));
  if (query.status != kOK) return Failure(query.status);
  *report = query.report;
  return Success();
}
