// Runs side by side: the hub lock between processes, lock files of other
// programs, many runs at once, and a descriptor limit.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <thread>

#include "fixture.h"

using Processes = E2E;

// A file being written names no one yet: busy for two seconds, then stale.
TEST_F(Processes, ALockFileOfAnotherProgramIsWaitedForAndLeftAlone) {
  AddHub(0, HubWith("04", 0x5));
  std::ofstream("/run/lock/LCK..ttyUSB0").flush();
  const sandbox::RunResult r = Tarvo({"/G:ttyUSB0"});
  EXPECT_RUN(r, "On=1,3 Off=2,4\n", 0);
  EXPECT_GE(r.seconds, 1);  // from its start, a little after the write
  EXPECT_EQ(0, unlink("/run/lock/LCK..ttyUSB0"))
      << "tarvo leaves other programs' files alone";
}

// TARVO_PASSWORD keeps the password out of /proc/PID/cmdline, which every
// local user can read, while the run waits for a busy hub.
TEST_F(Processes, ThePasswordFromTheEnvironmentIsNotOnTheCommandLine) {
  hubsim::HubConfig config = HubWith("04", 0x5);
  config.password = "s3cret  ";
  hubsim::Hub& hub = AddHub(0, config);
  const int holder = open("/dev/ttyUSB0", O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_EQ(0, flock(holder, LOCK_EX | LOCK_NB));
  std::string cmdline;  // the pid and /proc/PID/cmdline, as pgrep -a says
  std::thread reader([&] {
    EXPECT_TRUE(Eventually([&] {
      cmdline = sandbox::Run({"pgrep", "-af", TARVO_EXE " /S:ttyUSB0"}, 60).out;
      return !cmdline.empty();
    }));
    close(holder);
  });
  // Handed down as a caller hands it down: no shell in between, whose own
  // command line would hold it.
  ASSERT_EQ(0, setenv("TARVO_PASSWORD", "s3cret", 1));
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "1:2"}), "", 0);
  ASSERT_EQ(0, unsetenv("TARVO_PASSWORD"));
  reader.join();
  EXPECT_NE(std::string::npos, cmdline.find("/S:ttyUSB0")) << cmdline;
  EXPECT_EQ(std::string::npos, cmdline.find("s3cret")) << cmdline;
  EXPECT_EQ("SPs3cret  07000000\r", hub.Frames().back());
}

// Eight runs at once against one 8-port hub, each toggling its own port,
// round after round: a change lost to another run's shows at once.
TEST_F(Processes, NoLostUpdateNoInterleavedFrame) {
  hubsim::Hub& hub = AddHub(0, HubWith("08", 0x0));
  for (int round = 1; round <= 5; ++round) {
    std::vector<TarvoRun> runs;
    for (int port = 1; port <= 8; ++port)
      runs.push_back({{"/S:ttyUSB0", "T:" + std::to_string(port)}});
    for (const sandbox::RunResult& r : RunSideBySide(runs))
      EXPECT_RUN(r, "", 0);
    EXPECT_EQ(round % 2 ? "FF000000" : "00000000",
              hubsim::StateHex(hub.Config().states))
        << "round " << round;
  }
  const std::vector<std::string> frames = hub.Frames();
  ASSERT_EQ(3u * 8 * 5, frames.size());
  for (size_t i = 0; i < frames.size(); i += 3)
    EXPECT_EQ("?Q\r GP\r SPmira    ", frames[i] + " " + frames[i + 1] + " " +
                                          frames[i + 2].substr(0, 10));
}

// One descriptor left: the lock takes it, and a lock file cannot be read.
// Nothing is sent, and the run says at once what it says of a device it
// cannot open; a scan says it is incomplete. With a few more descriptors,
// and no room for a thread's stack, the scan finds every hub. Left out of
// sanitizer builds and of runs behind a launcher, which need descriptors
// of their own (tests/CMakeLists.txt).
TEST_F(Processes, OutOfDescriptorsWhileLockingIsNeitherBusyNorUnlocked) {
  std::vector<hubsim::Hub*> hubs;
  for (int i = 0; i < 11; ++i) {
    hubs.push_back(&AddHub(i, HubWith("04", 0x5)));
    std::ofstream("/run/lock/LCK..ttyUSB" + std::to_string(i))
        << "  4194305\n";  // stale
  }
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/G:ttyUSB0"}, "Query Err\n"},
      {{"/P:ttyUSB0", "x"}, "Change Password Error!\n"},
      {{"/R:ttyUSB0"}, "Open Port Error!\n"},
      {{"/Q", "-F"}, "Scan Incomplete!\n"}};
  for (const auto& [args, printed] : cases) {
    SCOPED_TRACE(args[0]);
    const sandbox::RunResult r =
        sandbox::Run(TarvoArgv(args, "ulimit -n 4"), 60);
    EXPECT_RUN(r, printed, 1);
    EXPECT_LT(r.seconds, kSlack);
  }
  for (const hubsim::Hub* hub : hubs) EXPECT_EQ("", hub->Received());
  EXPECT_RUN(
      sandbox::Run(TarvoArgv({"/Q", "-F"}, "ulimit -n 16; ulimit -v 8192"), 60),
      "0011ttyUSB0,1,2,3,4,5,6,7,8,9,10\n", 0);
  for (int i = 0; i < 11; ++i)
    unlink(("/run/lock/LCK..ttyUSB" + std::to_string(i)).c_str());
}

// The real waits of a hub's port and of its lock: every other test runs
// with waits of its own, or none. These carry the ctest label "slow".
using RealWaits = E2E;

TEST_F(RealWaits, ASilentHubCostsOneByteWait) {
  hubsim::Hub& hub = AddHub(0, {}, hubsim::Silent());
  const sandbox::RunResult r = Tarvo({"/G:ttyUSB0"});
  EXPECT_RUN(r, "Query Err\n", 1);
  EXPECT_GE(r.seconds, kHubByteWait);
  ExpectAtMost(r.seconds, kHubByteWait + kHubByteWaitSlack);
  EXPECT_EQ(std::vector<std::string>{"?Q\r"}, hub.Frames());
}

TEST_F(RealWaits, ALockIsWaitedForThirtySeconds) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x5));
  const int holder =
      open("/dev/ttyUSB0", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_EQ(0, flock(holder, LOCK_EX | LOCK_NB));
  const sandbox::RunResult busy = Tarvo({"/S:ttyUSB0", "1:2"});
  EXPECT_RUN(busy, "Port Busy!\n", 1);
  EXPECT_GE(busy.seconds, 30);
  ExpectAtMost(busy.seconds, 30 + kHubByteWaitSlack);
  EXPECT_TRUE(hub.Frames().empty());
  close(holder);
}

// LAVA ignores a failed end-of-job power-off, so docs/rigs.md's must wait
// out another run's /C: run as written, under the page's action timeout,
// while a /C holds the hub for 40 s, it leaves the port off.
TEST_F(RealWaits, TheRigsPagesLavaPowerOffWaitsOutAPowerCycle) {
  std::ifstream page(TARVO_SOURCE_DIR "/docs/rigs.md");
  const std::string text((std::istreambuf_iterator<char>(page)),
                         std::istreambuf_iterator<char>());
  std::smatch command, timeout;
  ASSERT_TRUE(std::regex_search(text, command,
                                std::regex("power_off_command = '([^']*)'")));
  ASSERT_TRUE(std::regex_search(
      text, timeout, std::regex("action_timeout_power_off = ([0-9]+)")));
  const std::vector<std::string> words = sandbox::SplitWords(command[1]);
  const std::string link =
      std::find_if(words.begin(), words.end(), [](const std::string& word) {
        return word[0] == '/';
      })->substr(3);
  ASSERT_EQ("/dev/serial/by-path/", link.substr(0, 20));
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0xF));
  ASSERT_TRUE(mkdir("/dev/serial", 0755) == 0 &&
              mkdir("/dev/serial/by-path", 0755) == 0 &&
              symlink("/dev/ttyUSB0", link.c_str()) == 0);
  sandbox::RunResult cycle;
  std::thread holder([&] { cycle = Tarvo({"/C:" + link, "3@40"}); });
  // Its first set frame is out: the port is off, and held so for 40 s.
  EXPECT_TRUE(Eventually([&] { return hub.Frames().size() >= 3; }));
  std::vector<std::string> argv = {"timeout", timeout[1]};
  const std::vector<std::string> tarvo =
      TarvoArgv({words.begin() + 1, words.end()});
  argv.insert(argv.end(), tarvo.begin(), tarvo.end());
  const sandbox::RunResult off = sandbox::Run(argv, 700);
  holder.join();
  EXPECT_RUN(cycle, "", 0);
  EXPECT_RUN(off, "", 0);
  EXPECT_EQ(0xBu, hub.Config().states);
  EXPECT_EQ(0, unlink(link.c_str()));
  EXPECT_EQ(0, rmdir("/dev/serial/by-path"));
  EXPECT_EQ(0, rmdir("/dev/serial"));
}
