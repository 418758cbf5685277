// Runs side by side: the hub lock between processes, lock files of other
// programs, many runs at once, and a descriptor limit.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "fixture.h"

namespace {

constexpr double kLockWait = 30;

class LockHolder {
 public:
  explicit LockHolder(const std::string& device)
      : fd_(open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    EXPECT_EQ(0, flock(fd_, LOCK_EX | LOCK_NB));
  }
  ~LockHolder() { Release(); }
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

}  // namespace

using Processes = E2E;

TEST_F(Processes, ARunGivesUpOnALockHeldThirtySeconds) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x5));
  LockHolder holder("/dev/ttyUSB0");
  const hubsim::RunResult r = Tarvo({"/S:ttyUSB0", "1:2"});
  EXPECT_RUN(r, "Port Busy!\n", 1);
  EXPECT_GE(r.seconds, kLockWait);
  EXPECT_LT(r.seconds, kLockWait + kSlack);
  EXPECT_TRUE(hub.Frames().empty());
}

TEST_F(Processes, ARunTakesTheLockWhenItIsReleased) {
  AddHub(0, HubWith("04", 0x5));
  LockHolder holder("/dev/ttyUSB0");
  std::thread release([&] {
    usleep(1000000);
    holder.Release();
  });
  const hubsim::RunResult r = Tarvo({"/G:ttyUSB0"});
  release.join();
  EXPECT_RUN(r, "On=1,3 Off=2,4\n", 0);
  EXPECT_GE(r.seconds, 1);
  EXPECT_LT(r.seconds, 1 + kSlack);
}

TEST_F(Processes, ALockFileOfALiveProgramIsWaitedFor) {
  AddHub(0, HubWith("04", 0x5));
  // The owner: a process that lives for a second.
  pid_t owner;
  char* const sleeper[] = {const_cast<char*>("sleep"), const_cast<char*>("1"),
                           nullptr};
  ASSERT_EQ(0, posix_spawnp(&owner, "sleep", nullptr, nullptr, sleeper, nullptr));
  std::ofstream("/run/lock/LCK..ttyUSB0") << "      " << owner << "\n";
  std::thread reap([owner] { waitpid(owner, nullptr, 0); });
  const hubsim::RunResult r = Tarvo({"/G:ttyUSB0"});
  reap.join();
  EXPECT_RUN(r, "On=1,3 Off=2,4\n", 0);
  EXPECT_GE(r.seconds, 0.9);
  std::ifstream left("/run/lock/LCK..ttyUSB0");
  EXPECT_TRUE(left.good()) << "tarvo leaves other programs' files alone";
  unlink("/run/lock/LCK..ttyUSB0");
}

// Eight runs at once against one 8-port hub, each switching its own port,
// round after round: every run's change must survive every other's.
TEST_F(Processes, NoLostUpdateNoInterleavedFrame) {
  hubsim::Hub& hub = AddHub(0, HubWith("08", 0x0));
  const std::vector<std::string> ops = {"1:", "T:", "0:", "T:", "T:"};
  constexpr int kRuns = 8;
  constexpr int kRounds = 5;
  uint32_t expected = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<hubsim::RunResult> results(kRuns);
    std::vector<std::thread> runs;
    for (int port = 1; port <= kRuns; ++port) {
      const std::string op = ops[(port + round) % ops.size()];
      const uint32_t bit = 1u << (port - 1);
      if (op == "1:") expected |= bit;
      if (op == "0:") expected &= ~bit;
      if (op == "T:") expected ^= bit;
      const std::string arg = op + std::to_string(port);
      runs.emplace_back([this, &results, port, arg] {
        results[port - 1] = Tarvo({"/S:ttyUSB0", arg});
      });
    }
    for (std::thread& t : runs) t.join();
    for (int i = 0; i < kRuns; ++i) EXPECT_RUN(results[i], "", 0);
    EXPECT_EQ(hubsim::StateHex(expected), hubsim::StateHex(hub.Config().states))
        << "round " << round;
  }
  const std::vector<std::string> frames = hub.Frames();
  ASSERT_EQ(3u * kRuns * kRounds, frames.size());
  for (size_t i = 0; i < frames.size(); i += 3) {
    EXPECT_EQ("?Q\r", frames[i]) << i;
    EXPECT_EQ("GP\r", frames[i + 1]) << i;
    EXPECT_EQ(0u, frames[i + 2].rfind("SPmira    ", 0)) << frames[i + 2];
  }
}

TEST_F(Processes, AScanUnderADescriptorLimitOfSixteenFindsEveryHub) {
  std::string expected = "0010ttyUSB";
  for (int i = 0; i < 10; ++i) {
    AddHub(i * 3, HubWith("04", 0x5));
    expected += (i > 0 ? "," : "") + std::to_string(i * 3);
  }
  const hubsim::RunResult r =
      hubsim::Run(TarvoArgv({"/Q", "-F"}, AfterShell("ulimit -n 16")), 60);
  EXPECT_RUN(r, expected + "\n", 0);
}
