// One run at a time per hub.
//
// Two runs that talk to one hub at once would interleave their frames,
// and a set command reads the states, computes and writes them back, so
// a second run in between would have its change undone. Every command
// that talks to a hub therefore holds an exclusive advisory lock (flock)
// on the hub's device from before its first exchange until after its
// last, on a descriptor of its own; the exchanges still open and close
// the port themselves.
//
// Programs that mark a port with a UUCP lock file instead (LCK..ttyUSB0 in
// /run/lock or /var/lock, holding the owner's process id as text, or as a
// 4-byte binary int when the file is exactly 4 bytes long) are respected
// too: such a file whose owner is alive counts as busy, one that cannot be
// read counts as busy, and a stale one is ignored and left alone. tarvo
// never creates such files.
//
// A command waits for the flock in the kernel, so a lock changes hands the
// moment it is released; a timer on a signal that is otherwise ignored
// (SIGURG) ends the wait at its deadline. A busy lock file is looked at
// again every kLockRecheckMicros.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern const char kPortBusy[];

constexpr int64_t kLockWaitMicros = 30000000;
constexpr int64_t kLockRecheckMicros = 10000;

// Where other programs put their lock files.
const std::vector<std::string>& DefaultLockFileDirs();

enum class LockState {
  kHeld,           // held until the HubLock goes (or the device has no lock)
  kBusy,           // another run or program has the device
  kNoDescriptors,  // the run is out of descriptors: try again later
};

class HubLock {
 public:
  explicit HubLock(std::vector<std::string> lock_file_dirs =
                       DefaultLockFileDirs());
  ~HubLock();
  HubLock(HubLock&& other) noexcept;
  HubLock& operator=(HubLock&& other) noexcept;
  HubLock(const HubLock&) = delete;
  HubLock& operator=(const HubLock&) = delete;

  // One look, no wait. A device that cannot be opened is not locked and
  // gives kHeld: the exchange that follows reports on it.
  LockState TryAcquire(const std::string& device);
  // Waits until deadline_us (MonotonicMicros()); kHeld or kBusy. A run
  // out of descriptors goes on unlocked: its exchange will say so.
  LockState Acquire(const std::string& device, int64_t deadline_us);
  void Release();

 private:
  std::vector<std::string> lock_file_dirs_;
  int32_t fd_ = -1;
};

// True when a lock file of another live program marks device.
bool HasLiveLockFile(const std::string& device,
                     const std::vector<std::string>& lock_file_dirs);
