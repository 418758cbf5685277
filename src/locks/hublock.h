// One run at a time per hub, and only the device that was locked.
//
// Two runs that talk to one hub at once would interleave their frames,
// and a set command reads the states, computes and writes them back, so
// a second run in between would have its change undone. Every command
// that talks to a hub therefore holds an exclusive advisory lock (flock)
// on the hub's device from before its first exchange until after its
// last, on a descriptor of its own; the exchanges still open and close
// the port themselves.
//
// The exchanges open the device by name, and a name can be re-pointed
// while a run holds the lock (a link in /dev, a udev rule's name). So the
// lock pins the file it locked (DevicePin), and an exchange whose port is
// another file writes nothing to it. Where no lock descriptor could be
// had, the first exchange's port is pinned.
//
// Programs that mark a port with a UUCP lock file instead (LCK..ttyUSB0 in
// /run/lock or /var/lock) are respected too. Any user can write there, so
// such a file is read as hostile input: never followed through a link,
// never opened blocking, only a regular file, only its first bytes. It
// holds the owner's process id as text (blanks, spaces or tabs, before
// it; only the first 128 bytes are read), or as a 4-byte binary int when
// it is exactly 4 bytes that are not all digits, blanks and a newline. A
// program marks a device by the last part of the name it opened it by, so
// a file LCK..NAME marks the hub when NAME is the last part of a name on
// the way to the hub's device (LCK..rack3 for /dev/hubs/rack3), or when
// the device folder's NAME leads to the hub's device node (LCK..ttyUSB7
// for a ttyUSB7 that leads to ttyUSB0). So each look lists the lock
// folders and compares devices rather than guessing names: at most
// kMostLockFolderEntries entries a folder, and a folder that holds more
// counts as busy; a folder that cannot be listed is looked in for the
// names on the way alone.
//   - an owner that is alive: busy, unless it is this very run;
//   - an owner that is gone: stale, ignored and left alone;
//   - no owner named (empty, 0, not a number): busy while the file is
//     younger than 2 s (its owner may still be writing), stale after,
//     and stale too when it is dated more than 2 s ahead;
//   - anything that is not a regular file, or cannot be read: busy.
// tarvo never creates such files. A lock folder it may not look in at all
// can only be read as busy, and that will not change while the run waits:
// such a look ends the wait at once (kCannotLook).
//
// A command waits for the flock in the kernel, so a lock changes hands the
// moment it is released; a timer on a signal that is otherwise ignored
// (kLockTimerSignal, signals/allocation.h) ends the wait at its deadline.
// A busy lock file is looked at again every recheck interval (10 ms on
// the host).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/uniquefd.h"

// How long a lock file that names no process may be in the making.
constexpr int64_t kLockFileGraceMicros = 2000000;
// Any user can fill a lock folder: one look reads at most this many of
// its entries.
constexpr int32_t kMostLockFolderEntries = 1024;

// Where lock files are looked for, and the device folder whose names
// they are named after.
struct LockFileFolders {
  std::string device_dir;                   // "/dev/"
  std::vector<std::string> lock_file_dirs;  // "/run/lock"
};

enum class LockState {
  kHeld,           // held until the HubLock goes (or the device has no flock)
  kNoDevice,       // the device cannot be opened: nothing to lock, and the
                   // exchange that follows says why
  kBusy,           // another run or program has the device
  kCannotLook,     // a lock folder cannot be looked in: busy, for good
  kNoDescriptors,  // the run is out of descriptors: nothing may be sent
};

// How a busy device is held, as far as one look can tell.
enum class HeldThrough {
  kFlock,               // another run's flock
  kLockFile,            // a lock file naming a live process
  kUnnamedLockFile,     // a young lock file naming none
  kUnreadableLockFile,  // not a regular file, or unreadable (error)
  kFullFolder,          // a lock folder with too many entries
  kUnsearchableFolder,  // a lock folder that cannot be looked in (error)
};

struct LockHolder {
  HeldThrough through = HeldThrough::kFlock;
  int64_t pid = 0;    // the holder, 0 when not known
  std::string name;   // its /proc/PID/comm, never its arguments
  std::string path;   // the lock file or folder
  int32_t error = 0;  // errno of the look that failed
};

// The file a device name led to: device and inode, and the device number
// of a device node.
class DevicePin {
 public:
  // Pins fd's file when nothing is pinned yet; then true when fd is the
  // pinned file. False too when fd cannot be examined.
  bool Admit(int32_t fd);
  void Pin(int32_t fd);
  void Clear() { pinned_ = false; }
  // True when a file is pinned and path leads to it now.
  bool IsFileAt(const std::string& path) const;

 private:
  void Keep(const struct stat& file);
  bool IsPinned(const struct stat& file) const;

  bool pinned_ = false;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  dev_t rdev_ = 0;
};

class HubLock {
 public:
  // Lock files of other programs are looked for in folders, and looked at
  // again every recheck_us while one is busy.
  HubLock(LockFileFolders folders, int64_t recheck_us);

  // One look, no wait, at device's flock and at the lock files that mark
  // it: those of lock_file_names (names/hubnames.h), and those of every name of
  // the device folder that leads to it.
  LockState TryAcquire(const std::string& device,
                       const std::vector<std::string>& lock_file_names);
  // Waits until deadline_us (MonotonicMicros()).
  LockState Acquire(const std::string& device,
                    const std::vector<std::string>& lock_file_names,
                    int64_t deadline_us);
  void Release();

  // The locked file, for the exchanges made under the lock.
  DevicePin* Pin() { return &pin_; }
  const DevicePin* Pin() const { return &pin_; }
  // Who held the device at the last look that found it busy.
  const LockHolder& Holder() const { return holder_; }

 private:
  LockFileFolders folders_;
  int64_t recheck_us_;
  UniqueFd fd_;  // holds the flock; closing it releases the lock
  DevicePin pin_;
  LockHolder holder_;
};

enum class LockFileState { kNone, kBusy, kCannotLook, kNoDescriptors };

// What the lock files of other programs say of device, whose names are
// lock_file_names ("ttyUSB0"); kNone when none marks it or those that do
// are stale. When it is busy, *holder says how.
LockFileState CheckLockFiles(const std::string& device,
                             const std::vector<std::string>& lock_file_names,
                             const LockFileFolders& folders,
                             LockHolder* holder);
