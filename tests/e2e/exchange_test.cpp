// The exchange itself, over a real pseudo-terminal: SendCommand() against
// a simulated hub, every result it can give.
#include <chrono>

#include "fixture.h"
#include "link/exchange.h"

namespace {

struct Exchange {
  std::string result;
  std::string reply = "untouched";
  double seconds = 0;
};

Exchange Send(const std::string& device, const std::string& frame) {
  Exchange e;
  auto start = std::chrono::steady_clock::now();
  e.result = SendCommand(device, frame, &e.reply, kReplyTimeoutMs);
  e.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                            start)
                  .count();
  return e;
}

}  // namespace

using ExchangeResult = E2E;

TEST_F(ExchangeResult, ReplyUpToItsLineFeed) {
  hubsim::Hub& hub = AddHub(0, HubWith("08", 0x1A6));
  Exchange e = Send("/dev/ttyUSB0", "?Q\r");
  EXPECT_EQ("OK", e.result);
  EXPECT_EQ("KORVEN HUB082.1\r\n", e.reply);
  e = Send("/dev/ttyUSB0", "GP\r");
  EXPECT_EQ("OK", e.result);
  EXPECT_EQ("A6010000\r\n", e.reply);
  EXPECT_EQ((std::vector<std::string>{"?Q\r", "GP\r"}), hub.Frames());
  EXPECT_EQ("?Q\rGP\r", hub.Received());
}

TEST_F(ExchangeResult, TwentyBytesIsTheLimit) {
  const std::string nineteen = "KORVEN HUB082.1abcd";
  AddHub(0, {}, Answering("?Q", nineteen + "\n"));
  AddHub(1, {}, Answering("?Q", nineteen + "e" + "tail\n"));
  AddHub(2, {}, Answering("?Q", "\n"));
  AddHub(3, {}, Answering("?Q", "E01\r\n"));

  Exchange e = Send("/dev/ttyUSB0", "?Q\r");
  EXPECT_EQ("OK", e.result);
  EXPECT_EQ(nineteen + "\n", e.reply);
  e = Send("/dev/ttyUSB1", "?Q\r");
  EXPECT_EQ("Error Parameters", e.result);
  EXPECT_EQ(nineteen + "e", e.reply);
  e = Send("/dev/ttyUSB2", "?Q\r");
  EXPECT_EQ("OK", e.result);
  EXPECT_EQ("\n", e.reply);
  e = Send("/dev/ttyUSB3", "?Q\r");
  EXPECT_EQ("OK", e.result);
  EXPECT_EQ("E01\r\n", e.reply);
}

TEST_F(ExchangeResult, LeftoverInputIsDiscardedBeforeTheNextFrame) {
  hubsim::Faults faults;
  faults.unasked = "99999999\r\n";
  AddHub(0, HubWith("08", 0x1A6), faults);
  AddHub(1, {}, Answering("GP", "A6010000\r\nFFFFFFFF\r\n"));
  Exchange e = Send("/dev/ttyUSB0", "?Q\r");
  EXPECT_EQ("OK", e.result);
  EXPECT_EQ("KORVEN HUB082.1\r\n", e.reply);
  e = Send("/dev/ttyUSB0", "GP\r");
  EXPECT_EQ("A6010000\r\n", e.reply);
  e = Send("/dev/ttyUSB1", "GP\r");
  EXPECT_EQ("A6010000\r\n", e.reply);
  e = Send("/dev/ttyUSB1", "GP\r");
  EXPECT_EQ("A6010000\r\n", e.reply);
}

TEST_F(ExchangeResult, SlowBytesAreWaitedFor) {
  hubsim::Faults slow;
  slow.replyDelayMs = 300;
  slow.byteGapMs = 40;
  AddHub(0, HubWith("08", 0x1A6), slow);
  Exchange e = Send("/dev/ttyUSB0", "GP\r");
  EXPECT_EQ("OK", e.result);
  EXPECT_EQ("A6010000\r\n", e.reply);
  EXPECT_GE(e.seconds, 0.3 + 9 * 0.04);
}

TEST_F(ExchangeResult, HangUpInTheMiddleOfAReply) {
  hubsim::Faults hangUp;
  hangUp.hangUpAfterBytes = 6;
  AddHub(0, {}, hangUp);
  Exchange e = Send("/dev/ttyUSB0", "?Q\r");
  EXPECT_EQ("Read Timeout", e.result);
  EXPECT_EQ("KORVEN", e.reply);
  EXPECT_LT(e.seconds, 5);
}

TEST_F(ExchangeResult, FailuresBeforeAnyReply) {
  AddLink("ttyUSB1", "/nonexistent/ttyUSB1");
  char file[] = "/tmp/tarvo-e2e-XXXXXX";
  int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  close(fd);
  AddLink("ttyUSB2", file);
  AddHub(3);

  Exchange e = Send("/dev/ttyUSB1", "?Q\r");
  EXPECT_EQ("Open Port Error!", e.result);
  EXPECT_EQ("untouched", e.reply);
  EXPECT_LT(e.seconds, 1);
  e = Send("/dev/ttyUSB2", "?Q\r");
  EXPECT_EQ("Set Port Option Error!", e.result);
  EXPECT_EQ("untouched", e.reply);
  e = Send("/dev/ttyUSB3", std::string(32, 'X'));
  EXPECT_EQ("Error Sending Command!", e.result);
  EXPECT_EQ("untouched", e.reply);
  unlink(file);
}

TEST_F(ExchangeResult, SilenceCostsOneByteWait) {
  hubsim::Faults silent;
  silent.silent = true;
  hubsim::Hub& hub = AddHub(0, {}, silent);
  Exchange e = Send("/dev/ttyUSB0", "?Q\r");
  EXPECT_EQ("Read Timeout", e.result);
  EXPECT_EQ("", e.reply);
  EXPECT_GE(e.seconds, kByteWait);
  EXPECT_LT(e.seconds, kByteWait + 2);
  EXPECT_EQ(std::vector<std::string>{"?Q\r"}, hub.Frames());
}

TEST_F(ExchangeResult, PartialReplyThenSilence) {
  hubsim::Faults cut;
  cut.cutAfterBytes = 5;
  AddHub(0, {}, cut);
  Exchange e = Send("/dev/ttyUSB0", "?Q\r");
  EXPECT_EQ("Read Timeout", e.result);
  EXPECT_EQ("KORVE", e.reply);
  EXPECT_GE(e.seconds, kByteWait);
  EXPECT_LT(e.seconds, kByteWait + 2);
}
