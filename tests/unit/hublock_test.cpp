#include "link/hublock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "link/clock.h"
#include "simhubs.h"

namespace {

const std::vector<std::string> kNoLockFiles;
// A process id that cannot be running: above the kernel's pid_max.
constexpr int32_t kGonePid = 4194305;

void WriteLockFile(const TempDir& dir, const std::string& bytes, mode_t mode = 0644) {
  const std::string file = dir.path() + "/LCK..ttyUSB0";
  unlink(file.c_str());
  std::ofstream(file, std::ios::binary) << bytes;
  chmod(file.c_str(), mode);
}

std::string Binary(int32_t pid) { return std::string(reinterpret_cast<const char*>(&pid), 4); }

}  // namespace

TEST(LockFileTest, LiveOwnersAndUnreadableFilesAreBusyStaleOnesAreNot) {
  TempDir dir;
  const std::string self = std::to_string(getpid()), gone = std::to_string(kGonePid);
  const struct {
    std::string bytes;
    mode_t mode;
    bool busy;
  } cases[] = {
      // Text as lock files write it (HDB: 10 columns); exactly 4 bytes is binary.
      {std::string(10 - self.size(), ' ') + self + "\n", 0644, true}, {"00000" + self, 0644, true},
      {"  " + gone + "\n", 0644, false},    {Binary(getpid()), 0644, true},
      {Binary(kGonePid), 0644, false},      {"not a pid\n", 0644, true},
      {"", 0644, true},                     {gone + "\n", 0000, geteuid() != 0},
  };
  for (const auto& c : cases) {
    WriteLockFile(dir, c.bytes, c.mode);
    EXPECT_EQ(c.busy, HasLiveLockFile("/dev/ttyUSB0", {dir.path()})) << c.bytes;
  }
  EXPECT_FALSE(HasLiveLockFile("/dev/ttyUSB1", {dir.path()}));
  std::ifstream stale(dir.path() + "/LCK..ttyUSB0");
  EXPECT_TRUE(stale.good()) << "a stale file is left alone";
}

TEST(HubLockTest, ALockFileHoldsOffCommandAndScanAlike) {
  TempDir dir;
  auto hub = StartHub();
  const std::string device = dir.path() + "/ttyUSB0";  // named as lock files name it
  ASSERT_EQ(0, symlink(hub->TerminalPath().c_str(), device.c_str()));
  WriteLockFile(dir, "      " + std::to_string(getpid()) + "\n");
  HubLock lock({dir.path()});
  EXPECT_EQ(LockState::kBusy, lock.TryAcquire(device));
  const int64_t start = MonotonicMicros();
  EXPECT_EQ(LockState::kBusy, lock.Acquire(device, start + 300000));
  EXPECT_GE(SecondsSince(start), 0.3);
  std::thread owner_leaves([&] {
    usleep(200000);
    WriteLockFile(dir, std::to_string(kGonePid) + "\n");
  });
  EXPECT_EQ(LockState::kHeld, lock.Acquire(device, MonotonicMicros() + 5000000));
  owner_leaves.join();
}

TEST(HubLockTest, AFlockChangesHandsAtOnceOrNotBeforeTheDeadline) {
  auto hub = StartHub();
  const std::string device = hub->TerminalPath();
  const int holder = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_EQ(0, flock(holder, LOCK_EX | LOCK_NB));
  HubLock waiting(kNoLockFiles);
  const int64_t start = MonotonicMicros();
  EXPECT_EQ(LockState::kBusy, waiting.Acquire(device, start + 400000));
  EXPECT_GE(SecondsSince(start), 0.4);
  ExpectAtMost(SecondsSince(start), 0.4 + kSlack);

  int64_t released_at = 0;
  std::thread releaser([&] {
    usleep(300000);
    released_at = MonotonicMicros();
    close(holder);
  });
  EXPECT_EQ(LockState::kHeld, waiting.Acquire(device, MonotonicMicros() + 5000000));
  const int64_t handed_over = MonotonicMicros();
  releaser.join();
  // Granted by the kernel, not found by a later look.
  ExpectAtMost(static_cast<double>(handed_over - released_at) / 1e6, 0.002);
  EXPECT_EQ(LockState::kBusy, HubLock(kNoLockFiles).TryAcquire(device));
  // A device that cannot be opened has no lock: the exchange reports on it.
  EXPECT_EQ(LockState::kHeld, waiting.TryAcquire("/nonexistent/ttyUSB0"));
}
