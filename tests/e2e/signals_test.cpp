// Signals that end a run: the device is left as found, and the run still
// dies of the signal.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "fixture.h"

namespace {

// Every signal whose default action ends the process and that can be
// caught, as glibc numbers them.
std::vector<int> DeadlySignals() {
  std::vector<int> signals = {SIGHUP,    SIGINT,  SIGQUIT, SIGPIPE,   SIGALRM,
                              SIGTERM,   SIGUSR1, SIGUSR2, SIGPOLL,   SIGPROF,
                              SIGVTALRM, SIGXCPU, SIGXFSZ, SIGSTKFLT, SIGPWR};
#if !defined(__SANITIZE_ADDRESS__)
  for (int crash : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGTRAP})
    signals.push_back(crash);
#endif
  // qemu-arm keeps the last two real-time signals for itself.
  const int last =
      std::string(TARVO_LAUNCHER).empty() ? SIGRTMAX : SIGRTMAX - 2;
  for (int rt = SIGRTMIN; rt <= last; ++rt) signals.push_back(rt);
  return signals;
}

// Gives /dev/<name> settings no hub speaks (115200, canonical, echo) and
// returns them; with change false, only reads them.
struct termios Line(const std::string& name, bool change) {
  struct termios line;
  const int fd = open(("/dev/" + name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  EXPECT_EQ(0, tcgetattr(fd, &line));
  if (change) {
    line.c_lflag |= ICANON | ECHO;
    line.c_iflag |= ICRNL;
    cfsetspeed(&line, B115200);
    EXPECT_EQ(0, tcsetattr(fd, TCSANOW, &line));
    EXPECT_EQ(0, tcgetattr(fd, &line));
  }
  close(fd);
  return line;
}

}  // namespace

using Signals = E2E;

TEST_F(Signals, EveryDeadlySignalPutsTheLineBackFirst) {
  const std::vector<int> signals = DeadlySignals();
  std::vector<struct termios> found;
  std::vector<hubsim::RunResult> results(signals.size());
  for (size_t i = 0; i < signals.size(); ++i) {
    AddHub(static_cast<int>(i), {}, hubsim::Silent());
    found.push_back(Line("ttyUSB" + std::to_string(i), true));
  }
  // Side by side: each run waits on its silent hub when its signal comes.
  std::vector<std::thread> runs;
  for (size_t i = 0; i < signals.size(); ++i)
    runs.emplace_back([&, i] {
      results[i] = hubsim::Run(
          TarvoArgv({"/G:ttyUSB" + std::to_string(i)}, "ulimit -c 0"), 30,
          "/dev/null", signals[i], 1.5);
    });
  for (std::thread& run : runs) run.join();
  for (size_t i = 0; i < signals.size(); ++i) {
    SCOPED_TRACE("signal " + std::to_string(signals[i]));
    EXPECT_EQ(128 + signals[i], results[i].status);
    EXPECT_LT(results[i].seconds, kHubByteWait);
    const struct termios after = Line("ttyUSB" + std::to_string(i), false);
    EXPECT_EQ(found[i].c_lflag, after.c_lflag);
    EXPECT_EQ(found[i].c_iflag, after.c_iflag);
    EXPECT_EQ(B115200, cfgetospeed(&after));
  }
}

TEST_F(Signals, AnInterruptedPowerCycleSwitchesThePortsBackOnFirst) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0xF));
  const hubsim::RunResult r = hubsim::Run(TarvoArgv({"/C:ttyUSB0", "1,2@20"}),
                                          60, "/dev/null", SIGINT, 1.5);
  EXPECT_EQ(128 + SIGINT, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_LT(r.seconds, 1.5 + kSlack);
  EXPECT_EQ((std::vector<std::string>{"?Q\r", "GP\r", "SPmira    0C000000\r",
                                      "SPmira    0F000000\r"}),
            hub.Frames());
  EXPECT_EQ(0xFu, hub.Config().states);
}

// What the caller set up stays: nohup's ignored SIGHUP, a background job's
// ignored SIGINT, a parent's blocked SIGTERM.
TEST_F(Signals, IgnoredAndBlockedAtStartStaySo) {
  hubsim::Faults slow;
  slow.reply_delay_ms = 1000;
  AddHub(0, HubWith("04", 0x5), slow);
  hubsim::Hub& ignoring = AddHub(1, HubWith("04", 0xF));
  hubsim::Hub& blocking = AddHub(2, HubWith("04", 0xF));
  hubsim::RunResult query, ignored, blocked;
  std::thread runs[] = {
      std::thread([&] {
        query = hubsim::Run(TarvoArgv({"/G:ttyUSB0"}, "trap '' HUP INT"), 60,
                            "/dev/null", SIGHUP, 0.5);
      }),
      std::thread([&] {
        ignored =
            hubsim::Run(TarvoArgv({"/C:ttyUSB1", "1@2"}, "trap '' HUP INT"), 60,
                        "/dev/null", SIGINT, 0.5);
      }),
      std::thread([&] {
        blocked = hubsim::Run(TarvoArgv({"/C:ttyUSB2", "1@2"}), 60, "/dev/null",
                              SIGTERM, 0.5, {SIGTERM});
      })};
  for (std::thread& run : runs) run.join();
  EXPECT_RUN(query, "On=1,3 Off=2,4\n", 0);
  for (const hubsim::RunResult* cycle : {&ignored, &blocked}) {
    EXPECT_RUN(*cycle, "", 0);
    EXPECT_GE(cycle->seconds, 2) << "the cycle ran its full time";
  }
  for (const hubsim::Hub* hub : {&ignoring, &blocking}) {
    EXPECT_EQ(4u, hub->Frames().size());
    EXPECT_EQ(0xFu, hub->Config().states);
  }
}

// A watchdog's kill -ABRT (or -SEGV, -TRAP) during the off time: the ports
// go back on first, then the signal ends the run.
TEST_F(Signals, ACrashSignalSentDuringAPowerCycleWaitsForThePortsToGoBackOn) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer keeps the crash signals";
#endif
  const int sent[] = {SIGABRT, SIGSEGV, SIGTRAP};
  std::vector<hubsim::Hub*> hubs;
  hubsim::RunResult results[3];
  std::vector<std::thread> runs;
  for (int i = 0; i < 3; ++i) {
    hubs.push_back(&AddHub(i, HubWith("04", 0xF)));
    runs.emplace_back([&, i] {
      results[i] = hubsim::Run(
          TarvoArgv({"/C:ttyUSB" + std::to_string(i), "1,2@20"}, "ulimit -c 0"),
          60, "/dev/null", sent[i], 1.5);
    });
  }
  for (std::thread& run : runs) run.join();
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("signal " + std::to_string(sent[i]));
    EXPECT_EQ(128 + sent[i], results[i].status);
    EXPECT_LT(results[i].seconds, 1.5 + kSlack);
    EXPECT_EQ(4u, hubs[i]->Frames().size());
    EXPECT_EQ(0xFu, hubs[i]->Config().states);
  }
}
