#include "link/hublock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "dispatch.h"

const char kPortBusy[] = "Port Busy!";

namespace {

constexpr int32_t kRetryMs = 10;

}  // namespace

HubLock::~HubLock() { Release(); }

void HubLock::Release() {
  // Closing the descriptor releases the lock; Linux frees the descriptor
  // even when close() reports an error.
  if (fd_ >= 0) (void)close(fd_);
  fd_ = -1;
}

std::string HubLock::Acquire(std::string device, int32_t waitMs) {
  // Read-only and non-blocking: the lock descriptor never talks to the
  // hub and must not wait for a carrier.
  fd_ = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return kOK;

  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return kOK;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      // No lock to be had on this file at all (ENOLCK, say): go on
      // unlocked rather than refuse to talk to the hub.
      Release();
      return kOK;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      Release();
      return kPortBusy;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
  }
}

void LockHubForRun(HubLock* pLock) {
  if (pLock->Acquire(COM_Name) != kOK) RetError(kPortBusy);
}

HubReport QueryHubForRun(HubLock* pLock) {
  LockHubForRun(pLock);
  HubReport hub;
  std::string ret = QueryHub(COM_Name, &hub.nPorts, &hub.fw, &hub.word);
  if (ret != kOK) RetError(ret);
  return hub;
}
