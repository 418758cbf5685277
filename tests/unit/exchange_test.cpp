#include "line/exchange.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <tuple>

#include "line/serialport.h"
#include "signals/deadlysignals.h"
#include "simhubs.h"

namespace {

const char kQueryFrame[] = "?Q\r";

PortUse Use(DevicePin* pin = nullptr, const SerialFlagCalls* flags = nullptr) {
  return {kTestByteWaitUs, pin, flags};
}

// The status and the reply bytes kept, as one line.
std::string Exchanged(const std::string& device,
                      const std::string& frame = kQueryFrame) {
  const ExchangeResult r =
      RunExchange(device, frame, Use(nullptr, &kDriverSerialFlags));
  using S = ExchangeStatus;
  const std::map<S, std::string> names = {
      {S::kOk, "ok"},
      {S::kOpenFailed, "open failed"},
      {S::kConfigureFailed, "configure failed"},
      {S::kSendFailed, "send failed"},
      {S::kReadTimedOut, "read timed out"},
      {S::kReplyTooLong, "reply too long"}};
  return names.at(r.status) + " [" + r.reply + "]";
}

// Queues single bytes on device until count are queued or it takes no
// more; the simulator has the line raw.
int64_t Fill(const std::string& device, int64_t count) {
  const int fd = open(device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
  int64_t queued = 0;
  while (queued < count && write(fd, "", 1) == 1) ++queued;
  close(fd);
  return queued;
}

}  // namespace

// What comes back, and how long it takes: a silent hub is waited for one
// byte wait, pauses just under it are waited out, and a signal caught
// every 60 ms throughout ends no wait.
TEST(ExchangeTest, ResultsTheBytesKeptAndTheWaits) {
  struct sigaction caught = {};
  caught.sa_handler = [](int) {};  // no SA_RESTART: poll() sees EINTR
  ASSERT_EQ(0, sigaction(SIGUSR1, &caught, nullptr));
  hubsim::Faults hang_up;
  hubsim::Faults slow = Answering("?Q", "K\n");
  hang_up.hang_up_after_bytes = 3;
  slow.reply_delay_ms = slow.byte_gap_ms = 350;
  const struct {
    hubsim::Faults faults;
    std::string expected;
    double seconds;
  } cases[] = {{{}, "ok [KORVEN HUB082.1\r\n]", 0},
               {Answering("?Q", std::string(19, 'x') + "\n"),
                "ok [" + std::string(19, 'x') + "\n]", 0},
               {Answering("?Q", "\nKORVEN"), "ok [\n]", 0},
               {Answering("?Q", std::string(25, 'y')),
                "reply too long [" + std::string(20, 'y') + "]", 0},
               {hang_up, "read timed out [KOR]", 0},
               {Silent(), "read timed out []", kTestByteWait},
               {slow, "ok [K\n]", 0.7}};
  bool done = false;
  std::thread interrupter([&, self = pthread_self()] {
    while (!done) {
      usleep(60000);
      pthread_kill(self, SIGUSR1);
    }
  });
  for (const auto& c : cases) {
    auto hub = StartHub(HubWith("08", 0), c.faults);
    const int64_t start = NowMicros();
    EXPECT_EQ(c.expected, Exchanged(hub->TerminalPath()));
    EXPECT_GE(SecondsSince(start), c.seconds);
    ExpectAtMost(SecondsSince(start), c.seconds + kSlack);
    EXPECT_EQ(std::vector<std::string>{kQueryFrame}, hub->Frames());
  }
  done = true;
  interrupter.join();
  // Line errors, nothing sent: no device, not a terminal.
  EXPECT_EQ("open failed []", Exchanged("/nonexistent/ttyUSB0"));
  TempDir dir;
  std::ofstream(dir / "regular").flush();
  EXPECT_EQ("configure failed []", Exchanged(dir / "regular"));
  EXPECT_EQ(0, std::filesystem::file_size(dir / "regular"));
  auto hub = StartHub();
  // Bytes sent unasked after a reply never join the next one.
  hubsim::Faults unasked;
  unasked.unasked = "E01\r\nG\r\n";
  hub->SetFaults(unasked);
  EXPECT_EQ("ok [KORVEN HUB082.1\r\n]", Exchanged(hub->TerminalPath()));
  usleep(50000);
  EXPECT_EQ("ok [00000000\r\n]", Exchanged(hub->TerminalPath(), "GP\r"));
}

// The hub's line (raw 9600) as each frame arrives, whatever the device
// had; the device's own settings afterwards. A pseudo-terminal keeps no
// character size, parity or stop bits: the board shows those on ftdi_sio.
TEST(ExchangeTest, TheLineIsTheHubsAsEachFrameArrivesAndIsLeftAsFound) {
  auto hub = StartHub();
  const int own = open(hub->TerminalPath().c_str(), O_RDWR | O_NOCTTY);
  struct termios found, after;
  ASSERT_EQ(0, tcgetattr(own, &found));
  found.c_lflag |= ICANON | ECHO | ISIG;
  found.c_iflag |= ICRNL | IXON;
  found.c_oflag |= OPOST | ONLCR;
  found.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
  cfsetspeed(&found, B115200);
  ASSERT_EQ(0, tcsetattr(own, TCSANOW, &found) | tcgetattr(own, &found));
  EXPECT_EQ(ExchangeStatus::kOk,
            RunExchange(hub->TerminalPath(), kQueryFrame, Use()).status);
  ASSERT_EQ(1u, hub->Records().size());
  const struct termios line = hub->Records()[0].line;
  EXPECT_EQ(std::make_tuple(B9600, B9600, CLOCAL | CREAD),
            std::make_tuple(cfgetospeed(&line), cfgetispeed(&line),
                            line.c_cflag & (CLOCAL | CREAD)));
  EXPECT_EQ(
      0u, (line.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN)) |
              (line.c_oflag & OPOST) |
              (line.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | BRKINT)));
  ASSERT_EQ(0, tcgetattr(own, &after));
  EXPECT_EQ(
      std::tie(found.c_lflag, found.c_iflag, found.c_oflag, found.c_cflag),
      std::tie(after.c_lflag, after.c_iflag, after.c_oflag, after.c_cflag));
  close(own);
}

TEST(ExchangeTest, StoppedOutputEndsTheExchangeAndNothingIsSentLater) {
  TestRig rig;
  const hubsim::Hub& hub = rig.AddHub("ttyUSB0");
  const int other = open(hub.TerminalPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(0, tcflow(other, TCOOFF));
  const int64_t start = NowMicros();
  EXPECT_EQ("Error Sending Command!\n(1)", rig.Run({"/R:ttyUSB0"}));
  EXPECT_GE(SecondsSince(start), kTestByteWait);
  ExpectAtMost(SecondsSince(start), kTestByteWait + kSlack);
  ASSERT_EQ(0, tcflow(other, TCOON));
  usleep(100000);
  EXPECT_EQ("", hub.Received());
  close(other);
}

TEST(ExchangeTest, AShortWriteIsContinuedUntilTheFrameIsOut) {
  hubsim::Faults deaf;
  deaf.deaf_ms = 60000;
  const int64_t room = Fill(StartHub({}, deaf)->TerminalPath(), INT64_MAX);
  deaf.deaf_ms = 300;
  auto hub = StartHub({}, deaf);
  // 5 bytes of room left: the frame's first write() takes only those.
  ASSERT_EQ(room - 5, Fill(hub->TerminalPath(), room - 5));
  const std::string frame = "SPmira    A6010000\r";
  EXPECT_EQ("ok [E02\r\n]", Exchanged(hub->TerminalPath(), frame));
  EXPECT_EQ(std::string(room - 5, '\0') + frame, hub->Received());
}

namespace {

// An adapter whose driver has serial flags, as FTDI's does: the flags it
// is asked to set, -1 when another field would change too.
std::vector<int> g_flag_writes;
constexpr int kAdapterFlags = ASYNC_SKIP_TEST;
const SerialFlagCalls kAdapter = {
    [](int32_t, struct serial_struct* flags) {
      *flags = {};
      flags->flags = kAdapterFlags;
      flags->xmit_fifo_size = 64;
      return 0;
    },
    [](int32_t, const struct serial_struct* flags) {
      g_flag_writes.push_back(flags->xmit_fifo_size == 64 ? flags->flags : -1);
      return 0;
    }};

}  // namespace

TEST(ExchangeTest, LowLatencyIsAskedForWhileOpenAndPutBackOnCloseAndOnASignal) {
  auto hub = StartHub();
  const std::vector<int> asked_then_back = {kAdapterFlags | ASYNC_LOW_LATENCY,
                                            kAdapterFlags};
  RunExchange(hub->TerminalPath(), kQueryFrame, Use(nullptr, &kAdapter));
  EXPECT_EQ(asked_then_back, std::exchange(g_flag_writes, {}));
  SerialPort port;
  ASSERT_TRUE(port.Open(hub->TerminalPath()) && port.Configure(&kAdapter));
  RestoreListedPorts();  // what a deadly signal's handler does first
  EXPECT_EQ(asked_then_back, g_flag_writes);
}
