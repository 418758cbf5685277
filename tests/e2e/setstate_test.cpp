#include "fixture.h"

namespace {

const char kQuery[] = "?Q\r";
const char kGetStates[] = "GP\r";

std::vector<std::string> QueryThen(const std::string& frame) {
  return {kQuery, kGetStates, frame};
}

}  // namespace

using SetStates = E2E;

TEST_F(SetStates, EveryStateFormReachesTheHub) {
  struct Case {
    std::string ports;
    uint32_t before;
    std::string state;
    std::string sent;  // state hex string in the frame
  };
  const std::vector<Case> cases = {
      {"04", 0x0, "1:3", "04000000"},
      {"04", 0x0, "1:3,4", "0C000000"},
      {"04", 0x5, "0:3", "01000000"},
      {"04", 0x5, "t:1,2", "06000000"},
      {"04", 0xFFFFFFF0u, "1:1", "F1FFFFFF"},
      {"04", 0x5, "0:ALL", "F0FFFFFF"},
      {"04", 0x5, "1:all", "FFFFFFFF"},
      {"04", 0x5, "T:ALL", "FAFFFFFF"},
      {"07", 0x0, "0:ALL", "80FFFFFF"},
      {"32", 0x0, "1:32", "00000080"},
      {"40", 0x1A6, "1:33", "A6010000"},
      {"04", 0x0, "B:0101", "F5FFFFFF"},
      {"04", 0x0, "b:0000", "F0FFFFFF"},
      {"03", 0x0, "B:2101", "FDFFFFFF"},
      {"16", 0x0, "H:A601", "A601FFFF"},
      {"10", 0x0, "h:a601", "A6FDFFFF"},
      {"08", 0x0, "H:0", "0FFFFFFF"},
      {"04", 0x0, "H:", "FFFFFFFF"},
      {"04", 0x0, "0X3", "00000000"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state + " on " + c.ports + " ports");
    hubsim::Hub& hub = AddHub(index, HubWith(c.ports, c.before));
    const std::string device = "/S:ttyUSB" + std::to_string(index++);
    EXPECT_RUN(Tarvo({device, c.state}), "", 0);
    EXPECT_EQ(QueryThen("SPmira    " + c.sent + "\r"), hub.Frames());
    EXPECT_EQ(hubsim::StateHex(hub.Config().states), c.sent);
  }
}

TEST_F(SetStates, FlashKeepsTheStatesAsPowerOnStatesSetDoesNot) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x0));
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "1:1"}), "", 0);
  EXPECT_EQ(0x1u, hub.Config().states);
  EXPECT_EQ(0x0u, hub.Config().flash);
  EXPECT_RUN(Tarvo({"/f:ttyusb0", "1:2"}), "", 0);
  EXPECT_EQ(0x3u, hub.Config().states);
  EXPECT_EQ(0x3u, hub.Config().flash);
  EXPECT_EQ("FPmira    03000000\r", hub.Frames().back());
}

TEST_F(SetStates, PasswordFields) {
  hubsim::HubConfig config = HubWith("04", 0x0);
  struct Case {
    std::string password;  // as typed
    std::string field;     // as sent
  };
  for (const Case& c : std::vector<Case>{{"abc", "abc     "},
                                         {"8chars!!", "8chars!!"},
                                         {"", "        "},
                                         {"Ab C", "Ab C    "}}) {
    SCOPED_TRACE("password '" + c.password + "'");
    config.password = c.field;
    hubsim::Hub& hub = AddHub(0, config);
    EXPECT_RUN(Tarvo({"/S:ttyUSB0", c.password, "1:2"}), "", 0);
    EXPECT_EQ("SP" + c.field + "02000000\r", hub.Frames().back());
  }
}

TEST_F(SetStates, LongStateArgumentIsNotAPassword) {
  hubsim::Hub& hub = AddHub(0, HubWith("08", 0x0));
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "1:1,2,3,4,5,6,7,8"}), "", 0);
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "0:1,2,3,4,5,6", ""}), "", 0);
  EXPECT_EQ("SPmira    C0000000\r", hub.Frames().back());
}

TEST_F(SetStates, ErrorsBeforeAnyHubTraffic) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x0));
  EXPECT_RUN(Tarvo({"/S"}), "Invalid Command!\n", 2);
  EXPECT_RUN(Tarvo({"/S:ttyACM0", "1:3"}), "Invalid Command!\n", 2);
  EXPECT_RUN(Tarvo({"/F:ttyUSB", "1:3"}), "Invalid Command!\n", 2);
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "123456789", "1:3"}), "Invalid Password!\n", 1);
  EXPECT_RUN(Tarvo({"/F:ttyUSB0", "ab\rRH", "1:3"}), "Invalid Password!\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "a\tb", "1:3"}), "Invalid Password!\n", 1);
  EXPECT_TRUE(hub.Frames().empty());
}

TEST_F(SetStates, StateArgumentErrorsAfterTheQueryNothingSent) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x5));
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"/S:ttyUSB0"}, "State Format Error!\n"},
      {{"/S:ttyUSB0", "x:3"}, "State Format Error!\n"},
      {{"/S:ttyUSB0", "secret"}, "State Format Error!\n"},
      {{"/S:ttyUSB0", "secret", ""}, "State Format Error!\n"},
      {{"/S:ttyUSB0", "1"}, "State Format Error!\n"},
      {{"/S:ttyUSB0", "B"}, "State Format Error!\n"},
      {{"/F:ttyUSB0", "pw", "h"}, "State Format Error!\n"},
      {{"/S:ttyUSB0", "0:5"}, "Invalid Number!\n"},
      {{"/S:ttyUSB0", "0:3,"}, "Invalid Number!\n"},
      {{"/S:ttyUSB0", "1:1,2,9"}, "Invalid Number!\n"},
      {{"/S:ttyUSB0", "B:012"}, "Invalid Number!\n"},
      {{"/S:ttyUSB0", "H:123456789"}, "Invalid Number!\n"},
      {{"/S:ttyUSB0", "H:0G"}, "Invalid Number!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    EXPECT_RUN(Tarvo(c.args), c.out, 1);
  }
  for (const std::string& frame : hub.Frames())
    EXPECT_TRUE(frame == kQuery || frame == kGetStates) << frame;
  EXPECT_EQ(0x5u, hub.Config().states);
}

TEST_F(SetStates, HubQueryFailuresComeFirst) {
  hubsim::HubConfig other = HubWith("04", 0x5);
  other.id = "korven";
  AddHub(1, other);
  EXPECT_RUN(Tarvo({"/S:ttyUSB9", "x:bad"}), "Query Err\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB1", "1:1"}), "ID Err\n", 1);
}

TEST_F(SetStates, WhatTheHubSaysBack) {
  hubsim::HubConfig config = HubWith("04", 0x0);
  config.password = "right   ";
  AddHub(0, config);
  AddHub(1, HubWith("04", 0x0), Answering("SP", "g04000000\r\n"));
  AddHub(2, HubWith("04", 0x0), Answering("SP", "Gf5ffffff\r\n"));
  AddHub(3, HubWith("04", 0x0), Answering("SP", "GF5FFFF\r\n"));
  AddHub(4, HubWith("04", 0x0), Answering("SP", "E02\r\n"));
  AddHub(5, HubWith("04", 0x0), Answering("FP", "E01 locked\r\n"));
  AddHub(6, HubWith("04", 0x0), Answering("SP", "GF5FFFFFF and a lot more\r\n"));
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "1:3"}), "Password Error!\n", 1);
  EXPECT_RUN(Tarvo({"/F:ttyUSB0", "wrong", "1:3"}), "Password Error!\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "right", "1:3"}), "", 0);
  EXPECT_RUN(Tarvo({"/S:ttyUSB1", "1:3"}), "Command Error!\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB2", "B:0101"}), "Set Port State Error!\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB3", "B:0101"}), "Set Port State Error!\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB4", "1:3"}), "Command Error!\n", 1);
  EXPECT_RUN(Tarvo({"/F:ttyUSB5", "1:3"}), "Password Error!\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB6", "B:0101"}), "Error Parameters\n", 1);
}

TEST_F(SetStates, SilentAfterTheQueryIsAReadTimeout) {
  hubsim::Faults noAnswer;
  noAnswer.replies["SP"] = "";
  AddHub(0, HubWith("04", 0x0), noAnswer);
  hubsim::RunResult r = Tarvo({"/S:ttyUSB0", "1:1"});
  EXPECT_RUN(r, "Read Timeout\n", 1);
  EXPECT_GE(r.seconds, kByteWait);
}
