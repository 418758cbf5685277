#include "locks/hublock.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "base/clock.h"
#include "signals/allocation.h"

// glibc 2.36 names the field but not the macro.
#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid
#endif

namespace {

// How late past its deadline a lock wait may end at most, when the
// timer's first expiry came too early to cut flock() short.
constexpr int64_t kLockTimerRepeatMicros = 1000;
const char kLockFilePrefix[] = "LCK..";
// Enough for an id right-aligned in many more columns than anyone writes.
constexpr size_t kLockFileMaxBytes = 128;
constexpr size_t kBinaryPidBytes = 4;
// The kernel's lock table, read to name a flock's holder, is read this far
// at most.
constexpr size_t kMostLockTableBytes = 1 << 20;

void CutShort(int) {}

// Read-only and non-blocking: the lock descriptor never talks to the hub
// and must not wait for a carrier.
int32_t OpenForLock(const std::string& device) {
  return open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// A binary id is 4 bytes that do not read as a short text id ("123\n").
bool IsBinaryPid(const char* bytes, size_t length) {
  if (length != kBinaryPidBytes) return false;
  for (size_t i = 0; i < length; ++i)
    if (!(bytes[i] >= '0' && bytes[i] <= '9') && !IsBlank(bytes[i]) &&
        bytes[i] != '\n')
      return true;
  return false;
}

// The process id the bytes name; 0 when they name none.
int64_t NamedPid(const char* bytes, size_t length) {
  if (IsBinaryPid(bytes, length)) {
    int32_t binary;
    std::memcpy(&binary, bytes, sizeof binary);
    return binary > 0 ? binary : 0;
  }
  size_t i = 0;
  while (i < length && IsBlank(bytes[i])) ++i;
  int64_t pid = 0;
  for (; i < length && bytes[i] >= '0' && bytes[i] <= '9'; ++i)
    if (pid <= INT32_MAX) pid = pid * 10 + (bytes[i] - '0');
  return pid <= INT32_MAX ? pid : 0;
}

// A file that names no one is young, and may still be being written, for
// its first moments; one dated far in the future (a clock set back) is not.
bool IsYoung(const struct stat& file) {
  struct timespec now;
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return true;
  const int64_t age_us =
      (static_cast<int64_t>(now.tv_sec) - file.st_mtim.tv_sec) * 1000000 +
      (now.tv_nsec - file.st_mtim.tv_nsec) / 1000;
  return age_us < kLockFileGraceMicros && age_us > -kLockFileGraceMicros;
}

// One read(), again when a signal cut it short.
ssize_t ReadOnce(int32_t fd, char* bytes, size_t size) {
  ssize_t got;
  do {
    got = read(fd, bytes, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

// The name the kernel keeps for a process (/proc/PID/comm): never its
// arguments, which may hold a password. "" when it cannot be read.
std::string ProcessName(int64_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/comm";
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
  char bytes[64];
  const ssize_t got = fd.valid() ? ReadOnce(fd.get(), bytes, sizeof bytes) : -1;
  if (got <= 0) return "";
  std::string name(bytes, static_cast<size_t>(got));
  if (name.back() == '\n') name.pop_back();
  return name;
}

LockHolder Holder(HeldThrough through, const std::string& path, int32_t error) {
  LockHolder holder;
  holder.through = through;
  holder.path = path;
  holder.error = error;
  return holder;
}

LockFileState ReadLockFile(const std::string& dir, const std::string& path,
                           LockHolder* holder) {
  // A look first, so that a FIFO or a device is never opened at all.
  struct stat seen;
  if (lstat(path.c_str(), &seen) != 0) {
    if (errno == ENOENT) return LockFileState::kNone;
    // The folder itself is closed to this user, or is no folder.
    if (errno == EACCES || errno == ENOTDIR) {
      *holder = Holder(HeldThrough::kUnsearchableFolder, dir, errno);
      return LockFileState::kCannotLook;
    }
    *holder = Holder(HeldThrough::kUnreadableLockFile, path, errno);
    return LockFileState::kBusy;
  }
  *holder = Holder(HeldThrough::kUnreadableLockFile, path, 0);
  if (!S_ISREG(seen.st_mode)) return LockFileState::kBusy;
  // Non-blocking and never through a link, in case it was swapped since.
  const UniqueFd fd(open(
      path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) return LockFileState::kNone;
    holder->error = errno;
    return IsOutOfDescriptors(errno) ? LockFileState::kNoDescriptors
                                     : LockFileState::kBusy;
  }
  struct stat file;
  char bytes[kLockFileMaxBytes];
  ssize_t got = -1;
  if (fstat(fd.get(), &file) == 0 && S_ISREG(file.st_mode)) {
    got = ReadOnce(fd.get(), bytes, sizeof bytes);
    if (got < 0) holder->error = errno;
  }
  if (got < 0) return LockFileState::kBusy;

  const int64_t pid = NamedPid(bytes, static_cast<size_t>(got));
  if (pid == 0) {
    holder->through = HeldThrough::kUnnamedLockFile;
    return IsYoung(file) ? LockFileState::kBusy : LockFileState::kNone;
  }
  // Written for this very run (by the shell that exec'd it, say).
  if (pid == getpid()) return LockFileState::kNone;
  const bool alive = kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
  if (!alive) return LockFileState::kNone;
  holder->through = HeldThrough::kLockFile;
  holder->pid = pid;
  holder->name = ProcessName(pid);
  return LockFileState::kBusy;
}

// Who holds the flock on fd's file, from the kernel's table of locks
// (/proc/locks: "1: FLOCK  ADVISORY  WRITE 4242 00:05:1234 0 EOF"; a
// waiter's line has "->" before FLOCK); pid 0 when it cannot be told.
LockHolder FlockHolder(int32_t fd) {
  LockHolder holder;
  struct stat file;
  const UniqueFd locks(open("/proc/locks", O_RDONLY | O_NOCTTY | O_CLOEXEC));
  if (fstat(fd, &file) != 0 || !locks.valid()) return holder;
  std::string table;
  char chunk[4096];
  while (table.size() < kMostLockTableBytes) {
    const ssize_t got = ReadOnce(locks.get(), chunk, sizeof chunk);
    if (got <= 0) break;
    table.append(chunk, static_cast<size_t>(got));
  }
  size_t start = 0;
  while (start < table.size()) {
    size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    const std::string line = table.substr(start, end - start);
    start = end + 1;
    long long pid = 0;
    unsigned major_number = 0;
    unsigned minor_number = 0;
    unsigned long long inode = 0;
    if (std::sscanf(line.c_str(), "%*d: FLOCK %*s %*s %lld %x:%x:%llu", &pid,
                    &major_number, &minor_number, &inode) == 4 &&
        major_number == major(file.st_dev) &&
        minor_number == minor(file.st_dev) && inode == file.st_ino && pid > 0) {
      holder.pid = pid;
      holder.name = ProcessName(pid);
      return holder;
    }
  }
  return holder;
}

// Which names of the device folder lead to one device node. Looked up by
// path, so that a look holds no descriptor but the folder list's.
class DeviceNames {
 public:
  DeviceNames(const std::string& device, std::string device_dir)
      : device_dir_(std::move(device_dir)) {
    known_ = !device.empty() && stat(device.c_str(), &device_) == 0 &&
             S_ISCHR(device_.st_mode);
  }

  bool LeadsToDevice(const std::string& name) const {
    struct stat seen;
    return known_ && stat((device_dir_ + name).c_str(), &seen) == 0 &&
           S_ISCHR(seen.st_mode) && seen.st_rdev == device_.st_rdev;
  }

 private:
  std::string device_dir_;
  struct stat device_ = {};
  bool known_ = false;
};

struct CloseFolder {
  void operator()(DIR* folder) const { (void)closedir(folder); }
};
using FolderList = std::unique_ptr<DIR, CloseFolder>;

// Adds to marking each NAME of an LCK..NAME in dir that leads to the
// device: kBusy when the folder holds more entries than one look reads. A
// folder that cannot be listed is still looked in by name.
LockFileState AddNamesLeadingToDevice(const std::string& dir,
                                      const DeviceNames& device,
                                      std::vector<std::string>* marking,
                                      LockHolder* holder) {
  const FolderList list(opendir(dir.c_str()));
  if (!list)
    return IsOutOfDescriptors(errno) ? LockFileState::kNoDescriptors
                                     : LockFileState::kNone;
  const size_t prefix = sizeof kLockFilePrefix - 1;
  int32_t entries = 0;
  while (const struct dirent* entry = readdir(list.get())) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (++entries > kMostLockFolderEntries) {
      *holder = Holder(HeldThrough::kFullFolder, dir, 0);
      return LockFileState::kBusy;
    }
    if (std::strncmp(name, kLockFilePrefix, prefix) != 0 ||
        name[prefix] == '\0')
      continue;
    const std::string marked = name + prefix;
    if (std::find(marking->begin(), marking->end(), marked) == marking->end() &&
        device.LeadsToDevice(marked))
      marking->push_back(marked);
  }
  return LockFileState::kNone;
}

LockFileState CheckLockFolder(const std::string& dir,
                              const std::vector<std::string>& lock_file_names,
                              const DeviceNames& device, LockHolder* holder) {
  std::vector<std::string> marking = lock_file_names;
  const LockFileState listed =
      AddNamesLeadingToDevice(dir, device, &marking, holder);
  if (listed != LockFileState::kNone) return listed;
  for (const std::string& name : marking) {
    // A stale file's look leaves *holder as it was.
    LockHolder found;
    const LockFileState state =
        ReadLockFile(dir, dir + "/" + kLockFilePrefix + name, &found);
    if (state == LockFileState::kNone) continue;
    *holder = found;
    return state;
  }
  return LockFileState::kNone;
}

// Fires in left_us, then again and again: an expiry that comes before
// flock() has begun to wait (a loaded machine, a deadline close by) is
// taken by the handler, and only a later one can cut the wait short.
bool ArmLockTimer(timer_t timer, int64_t left_us) {
  struct itimerspec when = {};
  when.it_value = MicrosToTimespec(left_us);
  when.it_interval = MicrosToTimespec(kLockTimerRepeatMicros);
  return timer_settime(timer, 0, &when, nullptr) == 0;
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
      if (!ArmLockTimer(timer, left_us)) break;
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

}  // namespace

LockFileState CheckLockFiles(const std::string& device,
                             const std::vector<std::string>& lock_file_names,
                             const LockFileFolders& folders,
                             LockHolder* holder) {
  const DeviceNames names(device, folders.device_dir);
  for (const std::string& dir : folders.lock_file_dirs) {
    const LockFileState state =
        CheckLockFolder(dir, lock_file_names, names, holder);
    if (state != LockFileState::kNone) return state;
  }
  return LockFileState::kNone;
}

bool DevicePin::Admit(int32_t fd) {
  struct stat file;
  if (fstat(fd, &file) != 0) return false;
  if (!pinned_) Keep(file);
  return IsPinned(file);
}

void DevicePin::Pin(int32_t fd) {
  struct stat file;
  pinned_ = false;
  if (fstat(fd, &file) == 0) Keep(file);
}

bool DevicePin::IsFileAt(const std::string& path) const {
  struct stat file;
  return stat(path.c_str(), &file) == 0 && IsPinned(file);
}

void DevicePin::Keep(const struct stat& file) {
  pinned_ = true;
  dev_ = file.st_dev;
  ino_ = file.st_ino;
  rdev_ = file.st_rdev;
}

bool DevicePin::IsPinned(const struct stat& file) const {
  return pinned_ && file.st_dev == dev_ && file.st_ino == ino_ &&
         file.st_rdev == rdev_;
}

HubLock::HubLock(LockFileFolders folders, int64_t recheck_us)
    : folders_(std::move(folders)), recheck_us_(recheck_us) {}

void HubLock::Release() {
  fd_.Reset();
  pin_.Clear();
}

LockState HubLock::TryAcquire(const std::string& device,
                              const std::vector<std::string>& lock_file_names) {
  Release();
  const int32_t fd = OpenForLock(device);
  if (fd < 0)
    return IsOutOfDescriptors(errno) ? LockState::kNoDescriptors
                                     : LockState::kNoDevice;
  fd_.Reset(fd);
  int result;
  do {
    result = flock(fd_.get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0 && errno == EWOULDBLOCK) {
    holder_ = FlockHolder(fd_.get());
    Release();
    return LockState::kBusy;
  }
  // No flock to be had on this file at all (ENOLCK, say): go on unlocked
  // rather than refuse to talk to the hub; the pin still holds.
  pin_.Pin(fd_.get());
  if (result != 0) fd_.Reset();
  switch (CheckLockFiles(device, lock_file_names, folders_, &holder_)) {
    case LockFileState::kNone: return LockState::kHeld;
    case LockFileState::kBusy: Release(); return LockState::kBusy;
    case LockFileState::kCannotLook: Release(); return LockState::kCannotLook;
    case LockFileState::kNoDescriptors: break;
  }
  Release();
  return LockState::kNoDescriptors;
}

LockState HubLock::Acquire(const std::string& device,
                           const std::vector<std::string>& lock_file_names,
                           int64_t deadline_us) {
  for (;;) {
    const LockState state = TryAcquire(device, lock_file_names);
    if (state != LockState::kBusy) return state;
    if (MonotonicMicros() >= deadline_us) return LockState::kBusy;
    const LockFileState files =
        CheckLockFiles(device, lock_file_names, folders_, &holder_);
    if (files == LockFileState::kNoDescriptors)
      return LockState::kNoDescriptors;
    if (files == LockFileState::kCannotLook) return LockState::kCannotLook;
    if (files == LockFileState::kNone) {
      // Another flock holder: wait in the kernel for the hand-over, then
      // look at the lock files once more with the flock held.
      const int32_t fd = OpenForLock(device);
      if (fd < 0 && IsOutOfDescriptors(errno)) return LockState::kNoDescriptors;
      fd_.Reset(fd);
      if (fd_.valid() && WaitForFlock(fd_.get(), deadline_us)) {
        switch (CheckLockFiles(device, lock_file_names, folders_, &holder_)) {
          case LockFileState::kNone:
            pin_.Pin(fd_.get());
            return LockState::kHeld;
          case LockFileState::kBusy: break;
          case LockFileState::kCannotLook:
            Release();
            return LockState::kCannotLook;
          case LockFileState::kNoDescriptors:
            Release();
            return LockState::kNoDescriptors;
        }
      }
      Release();
    }
    SleepUntil(std::min(MonotonicMicros() + recheck_us_, deadline_us));
  }
}
