#include "locks/hublock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "base/clock.h"
#include "line/exchange.h"
#include "signals/deadlysignals.h"
#include "simhubs.h"

namespace {

const LockFileFolders kNoLockFiles;
// A process id that cannot be running: above the kernel's pid_max.
constexpr int32_t kGonePid = 4194305;

enum class Kind { kFile, kFifo, kDirectory, kLinkToFile };

// Makes dir/LCK..ttyUSB0 anew, with a modification time age_s ago.
void WriteLockFile(const TempDir& dir, const std::string& bytes,
                   mode_t mode = 0644, int age_s = 0, Kind kind = Kind::kFile) {
  const std::string file = dir.path() + "/LCK..ttyUSB0";
  const std::string target = dir.path() + "/target";
  std::filesystem::remove_all(file);
  switch (kind) {
    case Kind::kFifo: ASSERT_EQ(0, mkfifo(file.c_str(), 0644)); return;
    case Kind::kDirectory: ASSERT_EQ(0, mkdir(file.c_str(), 0755)); return;
    case Kind::kLinkToFile:  // to a stale file: followed, it would not count
      std::ofstream(target) << kGonePid << "\n";
      ASSERT_EQ(0, symlink(target.c_str(), file.c_str()));
      return;
    case Kind::kFile: break;
  }
  std::ofstream(file, std::ios::binary) << bytes;
  // To the nanosecond: a whole-second time would age the file by up to a
  // second more than asked, across the 2 s a young file counts as busy.
  struct timespec then[2];
  ASSERT_EQ(0, clock_gettime(CLOCK_REALTIME, &then[0]));
  then[0].tv_sec -= age_s;
  then[1] = then[0];
  ASSERT_EQ(0, chmod(file.c_str(), mode) |
                   utimensat(AT_FDCWD, file.c_str(), then, 0));
}

std::string Binary(int32_t pid) {
  return std::string(reinterpret_cast<const char*>(&pid), 4);
}

}  // namespace

TEST(LockFileTest, LiveOwnersYoungAndOddFilesAreBusyStaleOnesAreNot) {
  TempDir dir;
  // The parent (the test runner) is alive and is not this process.
  const std::string self = std::to_string(getpid());
  const std::string parent = std::to_string(getppid());
  const std::string gone = std::to_string(kGonePid);
  const LockFileState busy = LockFileState::kBusy;
  const LockFileState stale = LockFileState::kNone;
  const struct {
    std::string bytes;
    LockFileState state;
    int age_s = 0;
    mode_t mode = 0644;
    Kind kind = Kind::kFile;
  } cases[] = {
      // Text as lock files write it (HDB: 10 columns, or far more), after
      // spaces or tabs, and short text ids: "  1\n" and "\t 1\n" name init,
      // alive; read as binary they would name no one.
      {std::string(10 - parent.size(), ' ') + parent + "\n", busy},
      {"00000" + parent, busy},
      {std::string(100, ' ') + parent + "\n", busy, 3},
      {"\t" + parent + "\n", busy},
      {"  1\n", busy},
      {"\t 1\n", busy},
      {"  " + gone + "\n", stale},
      {Binary(getppid()), busy},
      {Binary(kGonePid), stale},
      // This very run: the lock is its own.
      {self + "\n", stale},
      // Naming no one: busy while it may still be being written; no digit
      // in the first 128 bytes names no one; a date far ahead is no help.
      {"", busy},
      {"", stale, 3},
      {"0\n", busy, 1},
      {"0\n", stale, 3},
      {"not a pid\n", stale, 60},
      {std::string(128, ' ') + parent + "\n", stale, 3},
      {"", busy, -1},
      {"", stale, -3},
      {gone + "\n", geteuid() == 0 ? stale : busy, 0, 0000},
      // Not a regular file: never opened blocking, never followed.
      {"", busy, 0, 0644, Kind::kFifo},
      {"", busy, 0, 0644, Kind::kDirectory},
      {"", busy, 0, 0644, Kind::kLinkToFile},
  };
  for (const auto& c : cases) {
    WriteLockFile(dir, c.bytes, c.mode, c.age_s, c.kind);
    LockHolder holder;
    EXPECT_EQ(c.state,
              CheckLockFiles("", {"ttyUSB0"}, {"", {dir.path()}}, &holder))
        << c.bytes << " " << c.age_s;
  }

  // Out of descriptors is neither busy nor free.
  WriteLockFile(dir, gone + "\n");
  struct rlimit saved, none = {0, 0};
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  none.rlim_max = saved.rlim_max;
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &none));
  LockHolder holder;
  const LockFileState files =
      CheckLockFiles("", {"ttyUSB0"}, {"", {dir.path()}}, &holder);
  const LockState lock =
      HubLock(kNoLockFiles, kTestLockRecheckUs).TryAcquire("/dev/null", {});
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &saved));
  EXPECT_EQ(LockFileState::kNoDescriptors, files);
  EXPECT_EQ(LockState::kNoDescriptors, lock);
}

TEST(HubLockTest, AFlockChangesHandsAtOnceOrNotBeforeTheDeadline) {
  auto hub = StartHub();
  const std::string device = hub->TerminalPath();
  const int holder = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_EQ(0, flock(holder, LOCK_EX | LOCK_NB));
  // Rechecks a second apart: a hand-over found by a look would come late.
  HubLock waiting(kNoLockFiles, 1000000);
  const int64_t start = NowMicros();
  EXPECT_EQ(LockState::kBusy,
            waiting.Acquire(device, {}, MonotonicMicros() + 400000));
  EXPECT_GE(SecondsSince(start), 0.4);
  ExpectAtMost(SecondsSince(start), 0.4 + kSlack);

  int64_t released_at = 0;
  std::thread releaser([&] {
    usleep(300000);
    released_at = MonotonicMicros();
    close(holder);
  });
  EXPECT_EQ(LockState::kHeld,
            waiting.Acquire(device, {}, MonotonicMicros() + 5000000));
  const int64_t handed_over = MonotonicMicros();
  releaser.join();
  // Granted by the kernel, not found by a later look.
  ExpectAtMost(static_cast<double>(handed_over - released_at) / 1e6, kSlack);
  EXPECT_EQ(LockState::kBusy,
            HubLock(kNoLockFiles, kTestLockRecheckUs).TryAcquire(device, {}));
  // A device that cannot be opened has no lock: the exchange reports on it.
  EXPECT_EQ(LockState::kNoDevice,
            waiting.TryAcquire("/nonexistent/ttyUSB0", {}));
}

// A power cycle's hold blocks its wake-up signal; the lock's timer has a
// signal of its own, so a lock wait inside a hold still ends at its
// deadline. Deadlines a few microseconds away meet the race where the
// timer fires before flock() waits, which only its repeating ends. The
// holder lets go after 5 s: a wait the timer failed to end is granted,
// not hung.
TEST(HubLockTest, TheLockTimerEndsAWaitInsideAHold) {
  auto hub = StartHub();
  const std::string device = hub->TerminalPath();
  const int holder = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_EQ(0, flock(holder, LOCK_EX | LOCK_NB));
  std::promise<void> waited;
  std::thread releaser([&, done = waited.get_future()] {
    (void)done.wait_for(std::chrono::seconds(5));
    close(holder);
  });
  DeadlySignalHold hold;
  HubLock waiting(kNoLockFiles, 1000000);
  for (int64_t deadline_us = 0; deadline_us <= 600; deadline_us += 5)
    ASSERT_EQ(LockState::kBusy,
              waiting.Acquire(device, {}, MonotonicMicros() + deadline_us))
        << deadline_us;
  EXPECT_EQ(LockState::kBusy,
            waiting.Acquire(device, {}, MonotonicMicros() + 1000));
  EXPECT_EQ(0, hold.End());
  waited.set_value();
  releaser.join();
}
