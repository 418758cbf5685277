#include "link/exchange.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "link/clock.h"
#include "link/serialport.h"
#include "simhubs.h"

namespace {

const char kQueryFrame[] = "?Q\r";

std::string Reply(const ExchangeResult& result) {
  return result.status + " [" + result.reply + "]";
}

// A pseudo-terminal of the test's own, for what the simulator cannot show.
struct RawPty {
  RawPty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master, 0);
    EXPECT_EQ(0, grantpt(master));
    EXPECT_EQ(0, unlockpt(master));
    path = ptsname(master);
    terminal = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct termios raw;
    EXPECT_EQ(0, tcgetattr(terminal, &raw));
    cfmakeraw(&raw);
    EXPECT_EQ(0, tcsetattr(terminal, TCSANOW, &raw));
  }
  ~RawPty() {
    close(terminal);
    close(master);
  }
  // Writes single bytes from the terminal side until count are queued.
  int64_t Fill(int64_t count) {
    int64_t queued = 0;
    const char byte = 0;
    while (queued < count && write(terminal, &byte, 1) == 1) ++queued;
    return queued;
  }
  int master;
  int terminal;
  std::string path;
};

}  // namespace

TEST(ExchangeTest, ResultsAndTheBytesKept) {
  struct Case {
    hubsim::Faults faults;
    std::string expected;
  };
  hubsim::Faults hang_up;
  hang_up.hangUpAfterBytes = 3;
  const Case cases[] = {
      {{}, "OK [KORVEN HUB082.1\r\n]"},
      {Answering("?Q", std::string(19, 'x') + "\n"),
       "OK [" + std::string(19, 'x') + "\n]"},
      {Answering("?Q", "\nKORVEN"), "OK [\n]"},
      {Answering("?Q", std::string(25, 'y')),
       "Error Parameters [" + std::string(20, 'y') + "]"},
      {hang_up, "Read Timeout [KOR]"},
  };
  for (const Case& c : cases) {
    auto hub = StartHub(HubWith("08", 0), c.faults);
    EXPECT_EQ(c.expected, Reply(RunExchange(hub->TerminalPath(), kQueryFrame,
                                            kReplyTimeoutMs)));
    EXPECT_EQ(std::vector<std::string>{kQueryFrame}, hub->Frames());
  }
}

TEST(ExchangeTest, LineErrorsBeforeAnythingIsSent) {
  EXPECT_EQ("Open Port Error! []",
            Reply(RunExchange("/nonexistent/ttyUSB0", kQueryFrame, 100)));
  char file[] = "/tmp/tarvo-regular-XXXXXX";
  const int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  EXPECT_EQ("Set Port Option Error! []",
            Reply(RunExchange(file, kQueryFrame, 100)));
  struct stat st;
  EXPECT_EQ(0, fstat(fd, &st));
  EXPECT_EQ(0, st.st_size);  // nothing was written into the file
  close(fd);
  unlink(file);
  auto hub = StartHub();
  EXPECT_EQ("Error Sending Command! []",
            Reply(RunExchange(hub->TerminalPath(), std::string(32, 'S'), 100)));
  EXPECT_TRUE(hub->Frames().empty());
}

TEST(ExchangeTest, LeftoverInputNeverJoinsTheNextReply) {
  hubsim::Faults unasked;
  unasked.unasked = "E01\r\nG\r\n";
  auto hub = StartHub(HubWith("04", 0x5), unasked);
  EXPECT_EQ("OK [KORVEN HUB042.1\r\n]",
            Reply(RunExchange(hub->TerminalPath(), kQueryFrame, 100)));
  usleep(50000);  // the unasked bytes arrive after the exchange ended
  EXPECT_EQ("OK [05000000\r\n]",
            Reply(RunExchange(hub->TerminalPath(), "GP\r", 100)));
}

TEST(ExchangeTest, TheLineIsTheHubsAsEachFrameArrivesAndIsLeftAsFound) {
  auto hub = StartHub();
  // The device's own settings: 115200, canonical, echo.
  const int own = open(hub->TerminalPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(own, 0);
  struct termios found;
  ASSERT_EQ(0, tcgetattr(own, &found));
  found.c_lflag |= ICANON | ECHO | ISIG;
  found.c_iflag |= ICRNL | IXON;
  found.c_oflag |= OPOST | ONLCR;
  found.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
  cfsetispeed(&found, B115200);
  cfsetospeed(&found, B115200);
  ASSERT_EQ(0, tcsetattr(own, TCSANOW, &found));
  ASSERT_EQ(0, tcgetattr(own, &found));

  EXPECT_EQ(kOK, RunExchange(hub->TerminalPath(), kQueryFrame, 100).status);
  const std::vector<hubsim::FrameRecord> records = hub->Records();
  ASSERT_EQ(1u, records.size());
  const struct termios& line = records[0].line;
  EXPECT_EQ(B9600, cfgetospeed(&line));
  EXPECT_EQ(B9600, cfgetispeed(&line));
  EXPECT_EQ(CLOCAL | CREAD, line.c_cflag & (CLOCAL | CREAD));
  EXPECT_EQ(0u, line.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN));
  EXPECT_EQ(0u, line.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | BRKINT));
  EXPECT_EQ(0u, line.c_oflag & OPOST);

  struct termios after;
  ASSERT_EQ(0, tcgetattr(own, &after));
  EXPECT_EQ(found.c_lflag, after.c_lflag);
  EXPECT_EQ(found.c_iflag, after.c_iflag);
  EXPECT_EQ(found.c_oflag, after.c_oflag);
  EXPECT_EQ(found.c_cflag, after.c_cflag);
  EXPECT_EQ(B115200, cfgetospeed(&after));
  close(own);
}

TEST(LineSettingsTest, WhatAPseudoTerminalDoesNotKeep) {
  struct Case {
    int32_t baud, bits;
    char parity;
    int32_t stop;
    speed_t speed;
    tcflag_t cflag;  // besides CLOCAL | CREAD and the speed
    tcflag_t iflag;
  };
  const Case cases[] = {
      {9600, 8, 'N', 1, B9600, CS8, 0},
      {115200, 8, 'n', 1, B115200, CS8, 0},
      {9600, 7, 'E', 1, B9600, CS7 | PARENB, INPCK | ISTRIP},
      {4800, 7, 'o', 2, B4800, CS7 | PARENB | PARODD | CSTOPB, INPCK | ISTRIP},
      // Unsupported values fall back: 9600, 5 bits, no parity, 1 stop bit.
      {1234, 6, 'X', 3, B9600, CS5, 0},
      {2400, 9, 'M', 0, B2400, CS5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.baud) + " " + std::to_string(c.bits) +
                 c.parity + std::to_string(c.stop));
    const struct termios t = RawLineSettings(c.baud, c.bits, c.parity, c.stop);
    EXPECT_EQ(c.speed, cfgetospeed(&t));
    EXPECT_EQ(c.speed, cfgetispeed(&t));
    EXPECT_EQ(c.cflag | CLOCAL | CREAD, t.c_cflag & ~static_cast<tcflag_t>(CBAUD));
    EXPECT_EQ(c.iflag, t.c_iflag);
    EXPECT_EQ(0u, t.c_oflag);
    EXPECT_EQ(0u, t.c_lflag);
    EXPECT_EQ(0, t.c_cc[VMIN]);
    EXPECT_EQ(0, t.c_cc[VTIME]);
  }
}

TEST(ExchangeTest, EachByteIsWaitedForOneByteWaitNoLonger) {
  auto hub = StartHub({}, Silent());
  const int64_t start = MonotonicMicros();
  EXPECT_EQ("Read Timeout []",
            Reply(RunExchange(hub->TerminalPath(), kQueryFrame, 100)));
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, kByteWait);
  if (TimingIsNative()) {
    EXPECT_LT(seconds, kByteWait + kSlack);
  }
}

TEST(ExchangeTest, PausesJustUnderTheByteWaitAreWaitedOut) {
  hubsim::Faults slow = Answering("?Q", "K\n");
  slow.replyDelayMs = 9800;
  slow.byteGapMs = 9800;
  auto hub = StartHub({}, slow);
  EXPECT_EQ("OK [K\n]",
            Reply(RunExchange(hub->TerminalPath(), kQueryFrame, 100)));
}

void IgnoreSignal(int) {}

TEST(ExchangeTest, ASignalCaughtDuringAByteWaitDoesNotEndIt) {
  struct sigaction action = {};
  action.sa_handler = IgnoreSignal;  // no SA_RESTART: poll() sees EINTR
  sigaction(SIGUSR1, &action, nullptr);
  hubsim::Faults late;
  late.replyDelayMs = 1500;
  auto hub = StartHub(HubWith("04", 0), late);
  const pthread_t exchanging = pthread_self();
  std::thread interrupter([exchanging] {
    for (int i = 0; i < 5; ++i) {
      usleep(200000);
      pthread_kill(exchanging, SIGUSR1);
    }
  });
  EXPECT_EQ("OK [KORVEN HUB042.1\r\n]",
            Reply(RunExchange(hub->TerminalPath(), kQueryFrame, 100)));
  interrupter.join();
}

TEST(ExchangeTest, StoppedOutputEndsTheExchangeAndNothingIsSentLater) {
  auto hub = StartHub();
  const int other = open(hub->TerminalPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(0, tcflow(other, TCOOFF));
  const int64_t start = MonotonicMicros();
  EXPECT_EQ("Error Sending Command! []",
            Reply(RunExchange(hub->TerminalPath(), kQueryFrame, 100)));
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, kByteWait);
  if (TimingIsNative()) {
    EXPECT_LT(seconds, kByteWait + kSlack);
  }
  ASSERT_EQ(0, tcflow(other, TCOON));
  usleep(100000);
  EXPECT_EQ("", hub->Received());
  close(other);
}

TEST(ExchangeTest, AShortWriteIsContinuedUntilTheFrameIsOut) {
  // The room a pseudo-terminal has, measured on one of its own.
  int64_t room;
  {
    RawPty probe;
    room = probe.Fill(INT64_MAX);
  }
  RawPty pty;
  // Leaves 5 bytes of room: the frame's first write() takes only those.
  ASSERT_EQ(room - 5, pty.Fill(room - 5));
  const std::string frame = "SPmira    A6010000\r";
  std::string drained;
  std::thread hub([&] {
    usleep(300000);
    char bytes[4096];
    while (drained.size() < static_cast<size_t>(room - 5) + frame.size()) {
      struct pollfd readable = {pty.master, POLLIN, 0};
      if (poll(&readable, 1, 3000) != 1) break;
      const ssize_t got = read(pty.master, bytes, sizeof bytes);
      if (got <= 0) break;
      drained.append(bytes, static_cast<size_t>(got));
    }
    EXPECT_EQ(3, write(pty.master, "G\r\n", 3));
  });
  EXPECT_EQ("OK [G\r\n]", Reply(RunExchange(pty.path, frame, 100)));
  hub.join();
  ASSERT_GE(drained.size(), frame.size());
  EXPECT_EQ(frame, drained.substr(drained.size() - frame.size()));
}
