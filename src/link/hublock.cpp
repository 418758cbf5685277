#include "link/hublock.h"
#include "link/status.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "link/clock.h"

// glibc 2.36 names the field but not the macro.
#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid
#endif

const char kPortBusy[] = "Port Busy!";

namespace {

// Ignored by default, so its handler changes nothing for the process; it
// only cuts a blocked flock() short.
constexpr int kLockTimerSignal = SIGURG;
const char kLockFilePrefix[] = "LCK..";
constexpr size_t kLockFileMaxBytes = 64;
constexpr size_t kBinaryPidBytes = 4;

void CutShort(int) {}

// Reads the lock file; true with *alive set when it could be read.
bool ReadLockFile(const std::string& path, bool* alive) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *alive = false;
    return errno == ENOENT;
  }
  char bytes[kLockFileMaxBytes + 1];
  ssize_t got;
  do {
    got = read(fd, bytes, kLockFileMaxBytes);
  } while (got < 0 && errno == EINTR);
  (void)close(fd);
  if (got < 0) return false;

  int64_t pid = 0;
  if (static_cast<size_t>(got) == kBinaryPidBytes) {
    int32_t binary;
    std::memcpy(&binary, bytes, sizeof binary);
    pid = binary;
  } else {
    size_t i = 0;
    while (i < static_cast<size_t>(got) && bytes[i] == ' ') ++i;
    bool digits = false;
    for (; i < static_cast<size_t>(got) && bytes[i] >= '0' && bytes[i] <= '9';
         ++i) {
      digits = true;
      if (pid < INT32_MAX) pid = pid * 10 + (bytes[i] - '0');
    }
    if (!digits) return false;
  }
  if (pid <= 0 || pid > INT32_MAX) return false;
  *alive = kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
  return true;
}

std::string BaseName(const std::string& device) {
  const size_t slash = device.rfind('/');
  return slash == std::string::npos ? device : device.substr(slash + 1);
}

// Blocks in flock() until it is granted or deadline_us passes.
bool WaitForFlock(int32_t fd, int64_t deadline_us) {
  struct sigaction cut_short = {};
  cut_short.sa_handler = CutShort;  // no SA_RESTART: flock() must return
  (void)sigemptyset(&cut_short.sa_mask);
  struct sigaction previous;
  if (sigaction(kLockTimerSignal, &cut_short, &previous) != 0) return false;
  sigset_t timer_only;
  sigset_t previous_mask;
  (void)sigemptyset(&timer_only);
  (void)sigaddset(&timer_only, kLockTimerSignal);
  (void)pthread_sigmask(SIG_UNBLOCK, &timer_only, &previous_mask);

  struct sigevent event = {};
  event.sigev_notify = SIGEV_THREAD_ID;
  event.sigev_signo = kLockTimerSignal;
  event.sigev_notify_thread_id = static_cast<pid_t>(syscall(SYS_gettid));
  timer_t timer;
  bool granted = false;
  if (timer_create(CLOCK_MONOTONIC, &event, &timer) == 0) {
    for (;;) {
      const int64_t left_us = deadline_us - MonotonicMicros();
      if (left_us <= 0) break;
      struct itimerspec when = {};
      when.it_value.tv_sec = static_cast<time_t>(left_us / 1000000);
      when.it_value.tv_nsec = static_cast<long>(left_us % 1000000) * 1000;
      if (timer_settime(timer, 0, &when, nullptr) != 0) break;
      if (flock(fd, LOCK_EX) == 0) {
        granted = true;
        break;
      }
      if (errno != EINTR) break;
    }
    (void)timer_delete(timer);
  }
  (void)pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
  (void)sigaction(kLockTimerSignal, &previous, nullptr);
  return granted;
}

void SleepUntil(int64_t until_us) {
  for (;;) {
    const int64_t left_us = until_us - MonotonicMicros();
    if (left_us <= 0) return;
    struct timespec left = {static_cast<time_t>(left_us / 1000000),
                            static_cast<long>(left_us % 1000000) * 1000};
    if (nanosleep(&left, nullptr) == 0) return;
  }
}

}  // namespace

const std::vector<std::string>& DefaultLockFileDirs() {
  // Where /var/lock leads to /run/lock (as on Debian) one look is enough.
  static const std::vector<std::string> dirs = [] {
    std::vector<std::string> found = {"/run/lock"};
    struct stat run_lock, var_lock;
    if (stat("/var/lock", &var_lock) != 0 || stat("/run/lock", &run_lock) != 0 ||
        var_lock.st_dev != run_lock.st_dev || var_lock.st_ino != run_lock.st_ino)
      found.push_back("/var/lock");
    return found;
  }();
  return dirs;
}

bool HasLiveLockFile(const std::string& device,
                     const std::vector<std::string>& lock_file_dirs) {
  const std::string name = kLockFilePrefix + BaseName(device);
  for (const std::string& dir : lock_file_dirs) {
    bool alive = false;
    if (!ReadLockFile(dir + "/" + name, &alive) || alive) return true;
  }
  return false;
}

HubLock::HubLock(std::vector<std::string> lock_file_dirs)
    : lock_file_dirs_(std::move(lock_file_dirs)) {}

HubLock::~HubLock() { Release(); }

HubLock::HubLock(HubLock&& other) noexcept { *this = std::move(other); }

HubLock& HubLock::operator=(HubLock&& other) noexcept {
  if (this == &other) return *this;
  Release();
  lock_file_dirs_ = std::move(other.lock_file_dirs_);
  fd_ = std::exchange(other.fd_, -1);
  return *this;
}

void HubLock::Release() {
  // Closing the descriptor releases the lock; Linux frees the descriptor
  // even when close() reports an error.
  if (fd_ >= 0) (void)close(fd_);
  fd_ = -1;
}

LockState HubLock::TryAcquire(const std::string& device) {
  Release();
  // Read-only and non-blocking: the lock descriptor never talks to the
  // hub and must not wait for a carrier.
  fd_ = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    if (errno == EMFILE || errno == ENFILE) return LockState::kNoDescriptors;
    return LockState::kHeld;
  }
  int result;
  do {
    result = flock(fd_, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0 && errno == EWOULDBLOCK) {
    Release();
    return LockState::kBusy;
  }
  // No flock to be had on this file at all (ENOLCK, say): go on unlocked
  // rather than refuse to talk to the hub.
  if (result != 0) Release();
  if (HasLiveLockFile(device, lock_file_dirs_)) {
    Release();
    return LockState::kBusy;
  }
  return LockState::kHeld;
}

LockState HubLock::Acquire(const std::string& device, int64_t deadline_us) {
  for (;;) {
    const LockState state = TryAcquire(device);
    if (state != LockState::kBusy) return LockState::kHeld;
    if (MonotonicMicros() >= deadline_us) return LockState::kBusy;
    if (state == LockState::kBusy && !HasLiveLockFile(device, lock_file_dirs_)) {
      // Another flock holder: wait in the kernel for the hand-over, then
      // look at the lock files once more with the flock held.
      fd_ = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (fd_ >= 0 && WaitForFlock(fd_, deadline_us) &&
          !HasLiveLockFile(device, lock_file_dirs_))
        return LockState::kHeld;
      Release();
    }
    SleepUntil(std::min(MonotonicMicros() + kLockRecheckMicros, deadline_us));
  }
}
