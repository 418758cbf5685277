// Signals that end a run: the device is left as found, and the run still
// dies of the signal.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

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
  std::vector<TarvoRun> runs;
  for (size_t i = 0; i < signals.size(); ++i) {
    const std::string name = "ttyUSB" + std::to_string(i);
    AddHub(static_cast<int>(i), {}, hubsim::Silent());
    found.push_back(Line(name, true));
    // Each run waits on its silent hub when its signal comes.
    runs.push_back({{"/G:" + name}, "ulimit -c 0", signals[i], 1.5});
  }
  const std::vector<hubsim::RunResult> results = RunSideBySide(runs);
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

// Ctrl-C, or a watchdog's kill -ABRT (-SEGV, -TRAP), during the off time:
// the ports go back on first, then the signal ends the run.
TEST_F(Signals, ASignalDuringAPowerCycleWaitsForThePortsToGoBackOn) {
  std::vector<int> sent = {SIGINT};
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer keeps the crash signals
  sent.insert(sent.end(), {SIGABRT, SIGSEGV, SIGTRAP});
#endif
  std::vector<TarvoRun> runs;
  for (size_t i = 0; i < sent.size(); ++i) {
    AddHub(static_cast<int>(i), HubWith("04", 0xF));
    runs.push_back({{"/C:ttyUSB" + std::to_string(i), "1,2@20"},
                    "ulimit -c 0",
                    sent[i],
                    1.5});
  }
  const std::vector<hubsim::RunResult> results = RunSideBySide(runs);
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE("signal " + std::to_string(sent[i]));
    // Not EXPECT_RUN: an emulator reports a crash signal on standard error.
    EXPECT_EQ("", results[i].out);
    EXPECT_EQ(128 + sent[i], results[i].status);
    EXPECT_LT(results[i].seconds, 1.5 + kSlack);
    EXPECT_EQ((std::vector<std::string>{"?Q\r", "GP\r", "SPmira    0C000000\r",
                                        "SPmira    0F000000\r"}),
              Hub(i).Frames());
    EXPECT_EQ(0xFu, Hub(i).Config().states);
  }
}

// What the caller set up stays: nohup's ignored SIGHUP, a background job's
// ignored SIGINT, a parent's blocked SIGTERM.
TEST_F(Signals, IgnoredAndBlockedAtStartStaySo) {
  hubsim::Faults slow;
  slow.reply_delay_ms = 1000;
  AddHub(0, HubWith("04", 0x5), slow);
  for (int i : {1, 2}) AddHub(i, HubWith("04", 0xF));
  const std::vector<hubsim::RunResult> results =
      RunSideBySide({{{"/G:ttyUSB0"}, "trap '' HUP INT", SIGHUP, 0.5},
                     {{"/C:ttyUSB1", "1@2"}, "trap '' HUP INT", SIGINT, 0.5},
                     {{"/C:ttyUSB2", "1@2"}, "", SIGTERM, 0.5, {SIGTERM}}});
  EXPECT_RUN(results[0], "On=1,3 Off=2,4\n", 0);
  for (int i : {1, 2}) {
    EXPECT_RUN(results[i], "", 0);
    EXPECT_GE(results[i].seconds, 2) << "the cycle ran its full time";
    EXPECT_EQ(4u, Hub(i).Frames().size());
    EXPECT_EQ(0xFu, Hub(i).Config().states);
  }
}
