// One run at a time per hub.
//
// Two runs that talk to one hub at once would interleave their frames,
// and a set command reads the states, computes and writes them back, so
// a second run in between would have its change undone. Every command
// that talks to a hub therefore holds an exclusive advisory lock (flock)
// on the hub's device from before its first exchange until after its
// last, on a descriptor of its own; the exchanges still open and close
// the port themselves. A run that finds the device locked waits up to
// kLockWaitMs for it.
#pragma once

#include <cstdint>
#include <string>

#include "link/hubquery.h"
#include "status.h"

extern const char kPortBusy[];

constexpr int32_t kLockWaitMs = 30000;

class HubLock {
 public:
  HubLock() = default;
  ~HubLock();
  HubLock(const HubLock&) = delete;
  HubLock& operator=(const HubLock&) = delete;

  // Returns kOK once the lock is held, or kPortBusy when another run
  // still holds it after waitMs. A device that cannot be opened is not
  // locked and gives kOK: the exchange that follows reports on it.
  std::string Acquire(std::string device, int32_t waitMs = kLockWaitMs);

 private:
  void Release();

  int32_t fd_ = -1;
};

// Takes the lock on COM_Name for the rest of the run, ending it with
// "Port Busy!" when the hub stays locked.
void LockHubForRun(HubLock* pLock);

// Takes the lock as LockHubForRun() does and queries the hub on COM_Name,
// ending the run with the hub query's message when it fails.
HubReport QueryHubForRun(HubLock* pLock);
