// The fault matrix: what a run prints, its exit status, and how long it
// may take, for every way a device or line can misbehave.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fixture.h"

namespace {

// The lock wait of a run that finds its hub in use.
constexpr double kLockWait = 30;
// Slack for process start-up and a loaded machine.
constexpr double kSlack = 3;

// Holds the hub lock on a device as another run would.
class LockHolder {
 public:
  explicit LockHolder(const std::string& device)
      : fd_(open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    EXPECT_GE(fd_, 0) << device;
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

using FaultMatrix = E2E;

TEST_F(FaultMatrix, SilentDevice) {
  hubsim::Faults silent;
  silent.silent = true;
  AddHub(0, HubWith("04", 0x5), silent);
  hubsim::RunResult r = Tarvo({"/G:ttyUSB0"});
  EXPECT_RUN(r, "Query Err\n", 1);
  EXPECT_GE(r.seconds, kByteWait);
  EXPECT_LT(r.seconds, kByteWait + kSlack);
}

TEST_F(FaultMatrix, OneByteThenSilence) {
  hubsim::Faults cut;
  cut.cutAfterBytes = 1;
  AddHub(0, HubWith("04", 0x5), cut);
  hubsim::RunResult r = Tarvo({"/Q:ttyUSB0", "-F"});
  EXPECT_RUN(r, "Query Err\n", 1);
  EXPECT_LT(r.seconds, kByteWait + kSlack);
}

TEST_F(FaultMatrix, PausesJustUnderTheByteWait) {
  hubsim::Faults slow = Answering("WP", "G\n");
  slow.replyDelayMs = 9500;
  slow.byteGapMs = 9500;
  hubsim::Hub& hub = AddHub(0, {}, slow);
  hubsim::RunResult r = Tarvo({"/W:ttyUSB0"});
  EXPECT_RUN(r, "", 0);
  EXPECT_GE(r.seconds, 19);
  EXPECT_LT(r.seconds, 19 + kSlack);
  EXPECT_EQ(std::vector<std::string>{"WPmira    \r"}, hub.Frames());
}

TEST_F(FaultMatrix, TwentyBytesWithoutALineFeed) {
  AddHub(0, HubWith("04", 0x0), Answering("SP", std::string(20, 'G') + "\r\n"));
  AddHub(1, HubWith("04", 0x0), Answering("?Q", "KORVEN HUB042.1" + std::string(30, '.')));
  hubsim::RunResult r = Tarvo({"/S:ttyUSB0", "1:1"});
  EXPECT_RUN(r, "Error Parameters\n", 1);
  EXPECT_LT(r.seconds, kSlack);
  EXPECT_RUN(Tarvo({"/G:ttyUSB1"}), "Query Err\n", 1);
}

TEST_F(FaultMatrix, NulInsideAReply) {
  AddHub(0, HubWith("04", 0x5), Answering("GP", std::string("05\0" "00000\r\n", 10)));
  AddHub(1, HubWith("04", 0x0), Answering("SP", std::string("GF5\0" "FFFFF\r\n", 11)));
  AddHub(2, {}, Answering("CP", std::string("\0G\r\n", 4)));
  AddHub(3, {}, Answering("RH", std::string("E0\0" "1\r\n", 6)));
  hubsim::HubConfig nulFirmware = HubWith("04", 0x5, std::string("1\0" "3", 3));
  AddHub(4, nulFirmware);
  EXPECT_RUN(Tarvo({"/G:ttyUSB0"}), "Get Port State Err\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB1", "B:0101"}), "Set Port State Error!\n", 1);
  EXPECT_RUN(Tarvo({"/P:ttyUSB2", "x"}), "Change Password Error!\n", 1);
  EXPECT_RUN(Tarvo({"/R:ttyUSB3"}), "", 0);
  // The firmware field is shown exactly as received.
  EXPECT_RUN(Tarvo({"/Q:ttyUSB4", "-F"}),
             std::string("0500000004" "1\0" "3\r\n", 15), 0);
}

TEST_F(FaultMatrix, HangUpInTheMiddleOfAReply) {
  hubsim::Faults hangUp;
  hangUp.hangUpAfterBytes = 8;
  AddHub(0, HubWith("04", 0x5), hangUp);
  hubsim::RunResult r = Tarvo({"/G:ttyUSB0", "-B"});
  EXPECT_RUN(r, "Query Err\n", 1);
  EXPECT_LT(r.seconds, kSlack);
}

TEST_F(FaultMatrix, HangUpBeforeTheReply) {
  hubsim::Faults hangUp;
  hangUp.hangUpAfterBytes = 0;
  AddHub(0, HubWith("04", 0x5), hangUp);
  AddHub(1, HubWith("04", 0x5), hangUp);
  hubsim::RunResult r = Tarvo({"/S:ttyUSB0", "1:1"});
  EXPECT_RUN(r, "Query Err\n", 1);
  EXPECT_LT(r.seconds, kSlack);
  // The device node is gone with the hang-up: nothing can be opened.
  r = Tarvo({"/R:ttyUSB1"});
  EXPECT_EQ("", r.out);
  EXPECT_EQ(0, r.status);
  r = Tarvo({"/R:ttyUSB1"});
  EXPECT_RUN(r, "Open Port Error!\n", 1);
}

TEST_F(FaultMatrix, DeviceNodeIsARegularFile) {
  char file[] = "/tmp/tarvo-e2e-XXXXXX";
  int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(3, write(fd, "?Q\r", 3));
  close(fd);
  AddLink("ttyUSB0", file);
  EXPECT_RUN(Tarvo({"/G:ttyUSB0"}), "Query Err\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "1:1"}), "Query Err\n", 1);
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "x"}), "Change Password Error!\n", 1);
  EXPECT_RUN(Tarvo({"/W:ttyUSB0"}), "Save Port States Error!\n", 1);
  EXPECT_RUN(Tarvo({"/R:ttyUSB0"}), "Set Port Option Error!\n", 1);
  EXPECT_RUN(Tarvo({"/Q", "-F"}), "0000ttyUSB\n", 0);
  // Nothing was written into the file.
  struct stat st;
  ASSERT_EQ(0, stat(file, &st));
  EXPECT_EQ(3, st.st_size);
  unlink(file);
}

TEST_F(FaultMatrix, NonexistentDevice) {
  AddLink("ttyUSB0", "/nonexistent/device");
  for (const char* word : {"/G:ttyUSB0", "/G:ttyUSB1", "/Q:ttyUSB999"}) {
    hubsim::RunResult r = Tarvo({word});
    EXPECT_RUN(r, "Query Err\n", 1);
    EXPECT_LT(r.seconds, kSlack);
  }
  EXPECT_RUN(Tarvo({"/R:ttyUSB0"}), "Open Port Error!\n", 1);
  EXPECT_RUN(Tarvo({"/D:ttyUSB0"}), "Restore Default Error!\n", 1);
}

TEST_F(FaultMatrix, DeviceWithoutReadPermission) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run tarvo as another user";
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x5));
  ASSERT_EQ(0, chmod(hub.TerminalPath().c_str(), 0600));
  // The same tarvo, as the user nobody.
  const std::vector<std::string> asNobody = {
      "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  auto run = [&](std::vector<std::string> args) {
    return hubsim::Run(TarvoArgv(args, asNobody), 60);
  };
  hubsim::RunResult help = run({"/H"});
  if (help.status != 0)
    GTEST_SKIP() << "the user nobody cannot run " << TARVO_EXE << ": " << help.err;
  EXPECT_RUN(run({"/G:ttyUSB0"}), "Query Err\n", 1);
  EXPECT_RUN(run({"/S:ttyUSB0", "1:1"}), "Query Err\n", 1);
  EXPECT_RUN(run({"/R:ttyUSB0"}), "Open Port Error!\n", 1);
  EXPECT_RUN(run({"/Q", "-F"}), "0000ttyUSB\n", 0);
  EXPECT_TRUE(hub.Frames().empty());
  EXPECT_RUN(Tarvo({"/Q", "-F"}), "0001ttyUSB0\n", 0);
}

TEST_F(FaultMatrix, StandardInputClosedOrNull) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x0));
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "1:2"}, 60, ""), "", 0);
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "1:3"}, 60, "/dev/null"), "", 0);
  EXPECT_EQ(0x6u, hub.Config().states);
}

TEST_F(FaultMatrix, LockedDeviceForSet) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x0));
  LockHolder other("/dev/ttyUSB0");
  hubsim::RunResult r = Tarvo({"/S:ttyUSB0", "1:1"});
  EXPECT_RUN(r, "Port Busy!\n", 1);
  EXPECT_GE(r.seconds, kLockWait);
  EXPECT_LT(r.seconds, kLockWait + kSlack);
  EXPECT_TRUE(hub.Frames().empty());
}

TEST_F(FaultMatrix, LockedDeviceForGet) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x0));
  LockHolder other("/dev/ttyUSB0");
  hubsim::RunResult r = Tarvo({"/G:ttyUSB0"});
  EXPECT_RUN(r, "Port Busy!\n", 1);
  EXPECT_LT(r.seconds, kLockWait + kSlack);
  EXPECT_TRUE(hub.Frames().empty());
}

TEST_F(FaultMatrix, LockedDeviceDuringAScan) {
  hubsim::Hub& locked = AddHub(0, HubWith("04", 0x0));
  AddHub(1, HubWith("04", 0x0));
  LockHolder other("/dev/ttyUSB0");
  hubsim::RunResult r = Tarvo({"/Q", "-F"});
  EXPECT_RUN(r, "0001ttyUSB1\n", 0);
  EXPECT_LT(r.seconds, kLockWait + kSlack);
  EXPECT_TRUE(locked.Frames().empty());
}

TEST_F(FaultMatrix, ARunWaitsForTheLockToBeReleased) {
  AddHub(0, HubWith("04", 0x5));
  LockHolder other("/dev/ttyUSB0");
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    other.Release();
  });
  hubsim::RunResult r = Tarvo({"/G:ttyUSB0"});
  release.join();
  EXPECT_RUN(r, "On=1,3 Off=2,4\n", 0);
  EXPECT_GE(r.seconds, 1);
  EXPECT_LT(r.seconds, 1 + kSlack);
}

TEST_F(FaultMatrix, ARunKilledMidExchangeLeavesTheDeviceAsFound) {
  hubsim::Faults silent;
  silent.silent = true;
  hubsim::Hub& modem = AddHub(0, {}, silent);
  int fd = open(modem.TerminalPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  struct termios before;
  ASSERT_EQ(0, tcgetattr(fd, &before));
  before.c_lflag |= ICANON | ECHO;
  cfsetspeed(&before, B115200);
  ASSERT_EQ(0, tcsetattr(fd, TCSANOW, &before));
  ASSERT_EQ(0, tcgetattr(fd, &before));
  for (int signal : {SIGTERM, SIGINT}) {
    hubsim::RunResult r =
        hubsim::Run(TarvoArgv({"/Q"}), 60, "/dev/null", signal, 1.0);
    EXPECT_EQ(128 + signal, r.status) << r.err;
    EXPECT_LT(r.seconds, kByteWait);
    struct termios after;
    ASSERT_EQ(0, tcgetattr(fd, &after));
    EXPECT_EQ(before.c_lflag, after.c_lflag) << signal;
    EXPECT_EQ(before.c_cflag, after.c_cflag) << signal;
    EXPECT_EQ(cfgetospeed(&before), cfgetospeed(&after)) << signal;
  }
  close(fd);
}

TEST_F(FaultMatrix, DevicesAreLeftAsFound) {
  hubsim::HubConfig notAHub;
  notAHub.id = "MODEM1";
  hubsim::Hub& modem = AddHub(0, notAHub);
  hubsim::Hub& hub = AddHub(1, HubWith("04", 0x0));
  struct termios before[2];
  int fds[2];
  hubsim::Hub* hubs[2] = {&modem, &hub};
  for (int i = 0; i < 2; ++i) {
    fds[i] = open(hubs[i]->TerminalPath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fds[i], 0);
    ASSERT_EQ(0, tcgetattr(fds[i], &before[i]));
    // What a modem's own program might have set: cooked 115200 7E1.
    before[i].c_lflag |= ICANON | ISIG;
    before[i].c_iflag |= ICRNL;
    before[i].c_cflag = (before[i].c_cflag & ~CSIZE) | CS7 | PARENB;
    cfsetspeed(&before[i], B115200);
    ASSERT_EQ(0, tcsetattr(fds[i], TCSANOW, &before[i]));
    ASSERT_EQ(0, tcgetattr(fds[i], &before[i]));
  }
  EXPECT_RUN(Tarvo({"/Q", "-F"}), "0001ttyUSB1\n", 0);
  EXPECT_RUN(Tarvo({"/S:ttyUSB1", "1:1"}), "", 0);
  EXPECT_RUN(Tarvo({"/W:ttyUSB1"}), "", 0);
  for (int i = 0; i < 2; ++i) {
    struct termios after;
    ASSERT_EQ(0, tcgetattr(fds[i], &after));
    EXPECT_EQ(before[i].c_iflag, after.c_iflag) << i;
    EXPECT_EQ(before[i].c_oflag, after.c_oflag) << i;
    EXPECT_EQ(before[i].c_cflag, after.c_cflag) << i;
    EXPECT_EQ(before[i].c_lflag, after.c_lflag) << i;
    EXPECT_EQ(cfgetispeed(&before[i]), cfgetispeed(&after)) << i;
    close(fds[i]);
  }
}
