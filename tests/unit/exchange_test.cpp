#include "link/exchange.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "link/serialport.h"
#include "simhubs.h"

namespace {

const char kQueryFrame[] = "?Q\r";

// The exchange's port use in tests: a short byte wait.
PortUse Use(DevicePin* pin = nullptr,
            const SerialFlagCalls* low_latency = nullptr) {
  return {kTestByteWaitUs, pin, low_latency};
}

// The status and the reply bytes kept, as one line.
std::string Exchanged(const std::string& device,
                      const std::string& frame = kQueryFrame) {
  static const char* const kStatusNames[] = {
      "ok",          "open failed",    "configure failed",
      "send failed", "read timed out", "reply too long"};
  const ExchangeResult result =
      RunExchange(device, frame, Use(nullptr, &kDriverSerialFlags));
  return kStatusNames[static_cast<int>(result.status)] +
         (" [" + result.reply + "]");
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
// byte wait, pauses just under it are waited out.
TEST(ExchangeTest, ResultsTheBytesKeptAndTheWaits) {
  hubsim::Faults hang_up, slow = Answering("?Q", "K\n");
  hang_up.hang_up_after_bytes = 3;
  slow.reply_delay_ms = slow.byte_gap_ms = 350;
  // clang-format off
  const struct {
    hubsim::Faults faults;
    std::string expected;
    double seconds;
  } cases[] = {
      {{}, "ok [KORVEN HUB082.1\r\n]", 0},
      {Answering("?Q", std::string(19, 'x') + "\n"), "ok [" + std::string(19, 'x') + "\n]", 0},
      {Answering("?Q", "\nKORVEN"), "ok [\n]", 0},
      {Answering("?Q", std::string(25, 'y')), "reply too long [" + std::string(20, 'y') + "]", 0},
      {hang_up, "read timed out [KOR]", 0}, {Silent(), "read timed out []", kTestByteWait},
      {slow, "ok [K\n]", 0.7}};
  // clang-format on
  for (const auto& c : cases) {
    auto hub = StartHub(HubWith("08", 0), c.faults);
    const int64_t start = NowMicros();
    EXPECT_EQ(c.expected, Exchanged(hub->TerminalPath()));
    EXPECT_GE(SecondsSince(start), c.seconds);
    ExpectAtMost(SecondsSince(start), c.seconds + kSlack);
    EXPECT_EQ(std::vector<std::string>{kQueryFrame}, hub->Frames());
  }
  // Line errors, with nothing sent: no device, not a terminal, a frame too
  // long.
  EXPECT_EQ("open failed []", Exchanged("/nonexistent/ttyUSB0"));
  TempDir dir;
  std::ofstream(dir / "regular").flush();
  EXPECT_EQ("configure failed []", Exchanged(dir / "regular"));
  EXPECT_EQ(0, std::filesystem::file_size(dir / "regular"));
  auto hub = StartHub();
  EXPECT_EQ("send failed []",
            Exchanged(hub->TerminalPath(), std::string(32, 'S')));
  EXPECT_TRUE(hub->Frames().empty());
}

TEST(ExchangeTest, LeftoverInputNeverJoinsTheNextReply) {
  hubsim::Faults unasked;
  unasked.unasked = "E01\r\nG\r\n";
  auto hub = StartHub(HubWith("04", 0x5), unasked);
  EXPECT_EQ("ok [KORVEN HUB042.1\r\n]", Exchanged(hub->TerminalPath()));
  usleep(50000);  // the unasked bytes arrive after the exchange ended
  EXPECT_EQ("ok [05000000\r\n]", Exchanged(hub->TerminalPath(), "GP\r"));
}

TEST(ExchangeTest, TheLineIsTheHubsAsEachFrameArrivesAndIsLeftAsFound) {
  auto hub = StartHub();
  // The device's own settings: 115200, canonical, echo, no CLOCAL.
  const int own = open(hub->TerminalPath().c_str(), O_RDWR | O_NOCTTY);
  struct termios found, after;
  ASSERT_EQ(0, tcgetattr(own, &found));
  found.c_lflag |= ICANON | ECHO | ISIG, found.c_iflag |= ICRNL | IXON,
      found.c_oflag |= OPOST | ONLCR;
  found.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
  cfsetspeed(&found, B115200);
  ASSERT_EQ(0, tcsetattr(own, TCSANOW, &found) | tcgetattr(own, &found));

  EXPECT_EQ(ExchangeStatus::kOk,
            RunExchange(hub->TerminalPath(), kQueryFrame, Use()).status);
  const std::vector<hubsim::FrameRecord> records = hub->Records();
  ASSERT_EQ(1u, records.size());
  const struct termios& line = records[0].line;
  EXPECT_EQ(B9600, cfgetospeed(&line));
  EXPECT_EQ(B9600, cfgetispeed(&line));
  EXPECT_EQ(CLOCAL | CREAD, line.c_cflag & (CLOCAL | CREAD));
  EXPECT_EQ(0u, line.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN));
  EXPECT_EQ(0u, line.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | BRKINT));
  EXPECT_EQ(0u, line.c_oflag & OPOST);

  ASSERT_EQ(0, tcgetattr(own, &after));
  EXPECT_EQ(
      std::tie(found.c_lflag, found.c_iflag, found.c_oflag, found.c_cflag),
      std::tie(after.c_lflag, after.c_iflag, after.c_oflag, after.c_cflag));
  close(own);
}

// What a pseudo-terminal does not keep: character size, parity, stop bits.
TEST(LineSettingsTest, EightBitsNoParityOneStopBit) {
  const struct termios t = HubLineSettings();
  EXPECT_EQ(CS8 | CLOCAL | CREAD, t.c_cflag & ~static_cast<tcflag_t>(CBAUD));
  EXPECT_EQ(B9600, cfgetispeed(&t));
  EXPECT_EQ(0u,
            t.c_iflag | t.c_oflag | t.c_lflag | t.c_cc[VMIN] | t.c_cc[VTIME]);
}

TEST(ExchangeTest, ASignalCaughtDuringAByteWaitDoesNotEndIt) {
  struct sigaction action = {};
  action.sa_handler = [](int) {};  // no SA_RESTART: poll() sees EINTR
  sigaction(SIGUSR1, &action, nullptr);
  hubsim::Faults late;
  late.reply_delay_ms = 400;
  auto hub = StartHub(HubWith("04", 0), late);
  const pthread_t exchanging = pthread_self();
  std::thread interrupter([exchanging] {
    for (int i = 0; i < 5; ++i) {
      usleep(60000);
      pthread_kill(exchanging, SIGUSR1);
    }
  });
  EXPECT_EQ("ok [KORVEN HUB042.1\r\n]", Exchanged(hub->TerminalPath()));
  interrupter.join();
}

TEST(ExchangeTest, StoppedOutputEndsTheExchangeAndNothingIsSentLater) {
  auto hub = StartHub();
  const int other = open(hub->TerminalPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(0, tcflow(other, TCOOFF));
  const int64_t start = NowMicros();
  EXPECT_EQ("send failed []", Exchanged(hub->TerminalPath()));
  EXPECT_GE(SecondsSince(start), kTestByteWait);
  ExpectAtMost(SecondsSince(start), kTestByteWait + kSlack);
  ASSERT_EQ(0, tcflow(other, TCOON));
  usleep(100000);
  EXPECT_EQ("", hub->Received());
  close(other);
}

TEST(ExchangeTest, AShortWriteIsContinuedUntilTheFrameIsOut) {
  hubsim::Faults deaf;
  deaf.deaf_ms = 60000;
  const int64_t room =
      Fill(StartHub({}, deaf)->TerminalPath(), INT64_MAX);  // what a pty takes
  deaf.deaf_ms = 300;
  auto hub = StartHub({}, deaf);
  // 5 bytes of room left: the frame's first write() takes only those.
  ASSERT_EQ(room - 5, Fill(hub->TerminalPath(), room - 5));
  const std::string frame = "SPmira    A6010000\r";
  EXPECT_EQ("ok [E02\r\n]", Exchanged(hub->TerminalPath(), frame));
  const std::string received = hub->Received();
  EXPECT_EQ(std::string(room - 5, '\0') + frame, received);
}

namespace {

// An adapter whose driver has serial flags, as FTDI's does: what it is
// asked to set is recorded, -1 when any other field than the flags would
// change.
std::vector<int> g_flag_writes;
constexpr int kAdapterFlags = ASYNC_SKIP_TEST;
constexpr int kAdapterFifo = 64;

const SerialFlagCalls kAdapter = {
    [](int32_t, struct serial_struct* flags) {
      *flags = {};
      flags->flags = kAdapterFlags;
      flags->xmit_fifo_size = kAdapterFifo;
      return 0;
    },
    [](int32_t, const struct serial_struct* flags) {
      g_flag_writes.push_back(
          flags->xmit_fifo_size == kAdapterFifo ? flags->flags : -1);
      return 0;
    }};

std::vector<int> FlagWrites() { return std::exchange(g_flag_writes, {}); }

}  // namespace

TEST(ExchangeTest, LowLatencyIsAskedForWhileOpenAndPutBackOnCloseAndOnASignal) {
  auto hub = StartHub();
  const std::vector<int> asked_then_back = {kAdapterFlags | ASYNC_LOW_LATENCY,
                                            kAdapterFlags};
  EXPECT_EQ(ExchangeStatus::kOk, RunExchange(hub->TerminalPath(), kQueryFrame,
                                             Use(nullptr, &kAdapter))
                                     .status);
  EXPECT_EQ(asked_then_back, FlagWrites());
  EXPECT_EQ(ExchangeStatus::kOk,
            RunExchange(hub->TerminalPath(), kQueryFrame, Use()).status);
  EXPECT_EQ(std::vector<int>{}, FlagWrites())
      << "a scan's exchange does not ask";

  SerialPort port;
  ASSERT_TRUE(port.Open(hub->TerminalPath()));
  ASSERT_TRUE(port.Configure(&kAdapter));
  RestoreListedPorts();  // what a deadly signal's handler does first
  EXPECT_EQ(asked_then_back, FlagWrites());
}

TEST(ExchangeTest, OnlyTheFileFirstPinnedIsWrittenTo) {
  auto locked = StartHub();
  auto other = StartHub();
  TempDir dir;
  const std::string name = dir / "ttyUSB0";
  ASSERT_EQ(0, symlink(locked->TerminalPath().c_str(), name.c_str()));
  DevicePin pin;
  EXPECT_EQ(ExchangeStatus::kOk,
            RunExchange(name, kQueryFrame, Use(&pin)).status);
  ASSERT_EQ(0, unlink(name.c_str()) |
                   symlink(other->TerminalPath().c_str(), name.c_str()));
  EXPECT_EQ(ExchangeStatus::kOpenFailed,
            RunExchange(name, kQueryFrame, Use(&pin)).status);
  EXPECT_EQ("", other->Received());
  HubLock lock(std::vector<std::string>{});
  ASSERT_EQ(LockState::kHeld, lock.TryAcquire(name));
  EXPECT_EQ(ExchangeStatus::kOk,
            RunExchange(name, kQueryFrame, Use(lock.Pin())).status);
  EXPECT_EQ(1u, locked->Frames().size());
}
