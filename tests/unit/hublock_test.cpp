#include "link/hublock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "link/clock.h"
#include "simhubs.h"

namespace {

class LockDir {
 public:
  LockDir() {
    char pattern[] = "/tmp/tarvo-lockdir-XXXXXX";
    EXPECT_NE(nullptr, mkdtemp(pattern));
    path_ = pattern;
  }
  ~LockDir() {
    std::remove((path_ + "/LCK..ttyUSB0").c_str());
    rmdir(path_.c_str());
  }
  void Write(const std::string& bytes, mode_t mode = 0644) {
    const std::string file = path_ + "/LCK..ttyUSB0";
    std::remove(file.c_str());
    std::ofstream(file, std::ios::binary) << bytes;
    chmod(file.c_str(), mode);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::vector<std::string> kNoLockFiles;

std::string BinaryPid(int32_t pid) {
  return std::string(reinterpret_cast<const char*>(&pid), sizeof pid);
}

// A device name whose base name the lock files speak of.
std::string DeviceNamed(const std::string& dir, const std::string& target) {
  const std::string link = dir + "/ttyUSB0";
  unlink(link.c_str());
  EXPECT_EQ(0, symlink(target.c_str(), link.c_str()));
  return link;
}

}  // namespace

TEST(LockFileTest, LiveOwnersAndUnreadableFilesAreBusyStaleOnesAreNot) {
  LockDir dir;
  const std::string device = "/dev/ttyUSB0";
  const std::string self = std::to_string(getpid());
  // A process id that cannot be running: above the kernel's pid_max.
  const std::string gone = "4194305";
  struct Case {
    std::string bytes;
    mode_t mode;
    bool busy;
  };
  const Case cases[] = {
      {"      " + self + "\n", 0644, true},
      {self + "\n", 0644, true},
      {"  " + gone + "\n", 0644, false},
      {BinaryPid(getpid()), 0644, true},
      {BinaryPid(4194305), 0644, false},
      {"not a pid\n", 0644, true},
      {"", 0644, true},
      {gone + "\n", 0000, geteuid() != 0},  // root reads it: stale
  };
  for (const Case& c : cases) {
    dir.Write(c.bytes, c.mode);
    EXPECT_EQ(c.busy, HasLiveLockFile(device, {dir.path()})) << c.bytes;
  }
  dir.Write(gone);
  EXPECT_FALSE(HasLiveLockFile(device, {dir.path()}));
  struct stat st;
  EXPECT_EQ(0, stat((dir.path() + "/LCK..ttyUSB0").c_str(), &st))
      << "a stale file is left alone";
  EXPECT_FALSE(HasLiveLockFile("/dev/ttyUSB1", {dir.path()}));
}

TEST(HubLockTest, ALockFileHoldsOffCommandAndScanAlike) {
  LockDir dir;
  auto hub = StartHub();
  const std::string device = DeviceNamed(dir.path(), hub->TerminalPath());
  dir.Write(std::to_string(getpid()) + "\n");
  HubLock scan_lock({dir.path()});
  EXPECT_EQ(LockState::kBusy, scan_lock.TryAcquire(device));
  HubLock command_lock({dir.path()});
  const int64_t start = MonotonicMicros();
  EXPECT_EQ(LockState::kBusy,
            command_lock.Acquire(device, MonotonicMicros() + 300000));
  EXPECT_GE(SecondsSince(start), 0.3);
  // The owner goes away: the next look finds the lock free.
  std::thread owner_leaves([&] {
    usleep(200000);
    dir.Write("4194305\n");
  });
  EXPECT_EQ(LockState::kHeld,
            command_lock.Acquire(device, MonotonicMicros() + 5000000));
  owner_leaves.join();
  unlink(device.c_str());
}

TEST(HubLockTest, AFlockChangesHandsAtOnceOrNotBeforeTheDeadline) {
  auto hub = StartHub();
  const std::string device = hub->TerminalPath();
  const int holder = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_EQ(0, flock(holder, LOCK_EX | LOCK_NB));

  HubLock waiting(kNoLockFiles);
  int64_t start = MonotonicMicros();
  EXPECT_EQ(LockState::kBusy, waiting.Acquire(device, start + 400000));
  const double waited = SecondsSince(start);
  EXPECT_GE(waited, 0.4);
  if (TimingIsNative()) {
    EXPECT_LT(waited, 0.4 + kSlack);
  }

  int64_t released_at = 0;
  std::thread releaser([&] {
    usleep(300000);
    released_at = MonotonicMicros();
    close(holder);
  });
  EXPECT_EQ(LockState::kHeld,
            waiting.Acquire(device, MonotonicMicros() + 5000000));
  const int64_t handed_over = MonotonicMicros();
  releaser.join();
  // Granted by the kernel, not found by a later look.
  if (TimingIsNative()) {
    EXPECT_LT(handed_over - released_at, 2000);
  }

  HubLock other(kNoLockFiles);
  EXPECT_EQ(LockState::kBusy, other.TryAcquire(device));
}

TEST(HubLockTest, WhatCannotBeOpenedIsNotLockedAndNoDescriptorsIsSaidSo) {
  HubLock lock(kNoLockFiles);
  EXPECT_EQ(LockState::kHeld, lock.TryAcquire("/nonexistent/ttyUSB0"));
  auto hub = StartHub();
  struct rlimit saved;
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  // Every descriptor below the limit taken.
  std::vector<int> taken;
  struct rlimit tight = saved;
  tight.rlim_cur = 64;
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &tight));
  for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);
  EXPECT_EQ(LockState::kNoDescriptors, lock.TryAcquire(hub->TerminalPath()));
  for (int fd : taken) close(fd);
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &saved));
}
