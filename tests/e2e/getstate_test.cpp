#include "fixture.h"

using GetStates = E2E;

TEST_F(GetStates, ListsBinaryAndHex) {
  AddHub(0, HubWith("04", 0x05));
  AddHub(1, HubWith("04", 0xFFFFFFF5u));
  AddHub(2, HubWith("10", 0x200));
  AddHub(3, HubWith("06", 0x0));
  AddHub(4, HubWith("32", 0x80000000u));
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"/G:ttyUSB0"}, "On=1,3 Off=2,4\n"},
      {{"/G:ttyUSB0", "-B"}, "0101\n"},
      {{"/G:ttyUSB0", "-H"}, "05000000\n"},
      {{"/g:ttyusb0", "-b"}, "0101\n"},
      {{"/G:ttyUSB0", "-h"}, "05000000\n"},
      {{"/G:ttyUSB1"}, "On=1,3 Off=2,4\n"},
      {{"/G:ttyUSB1", "-B"}, "0101\n"},
      {{"/G:ttyUSB1", "-H"}, "F5FFFFFF\n"},
      {{"/G:ttyUSB2", "-B"}, "1000000000\n"},
      {{"/G:ttyUSB2", "-H"}, "00020000\n"},
      {{"/G:ttyUSB3"}, "On=None Off=1,2,3,4,5,6\n"},
      {{"/G:ttyUSB4", "-B"}, "1" + std::string(31, '0') + "\n"},
      {{"/G:ttyUSB4", "-H"}, "00000080\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    EXPECT_RUN(Tarvo(c.args), c.out, 0);
  }
}

TEST_F(GetStates, PortsAbove32AndEmptyHubs) {
  AddHub(0, HubWith("40", 0xFFFFFFFFu));
  AddHub(1, HubWith("00", 0xFFFFFFFFu));
  EXPECT_RUN(Tarvo({"/G:ttyUSB0", "-B"}),
             std::string(8, '0') + std::string(32, '1') + "\n", 0);
  EXPECT_RUN(Tarvo({"/G:ttyUSB0"}),
             "On=1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,"
             "24,25,26,27,28,29,30,31,32 Off=33,34,35,36,37,38,39,40\n",
             0);
  EXPECT_RUN(Tarvo({"/G:ttyUSB1", "-B"}), "\n", 0);
  EXPECT_RUN(Tarvo({"/G:ttyUSB1", "-H"}), "FFFFFFFF\n", 0);
  EXPECT_RUN(Tarvo({"/G:ttyUSB1"}), "On=None Off=None\n", 0);
}

TEST_F(GetStates, WrongFormsNeverReachTheHub) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x05));
  const std::vector<std::vector<std::string>> bad = {
      {"/G:ttyUSB0", "-F"}, {"/G:ttyUSB0", "-B", "x"}, {"/G:ttyUSB0", "x"},
      {"/G:ttyUSB0", "", "-B"}, {"/G"}, {"/G:ttyUSB"}, {"/G:ttyACM0"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(args[0]);
    EXPECT_RUN(Tarvo(args), "Invalid Command!\n", 2);
  }
  EXPECT_TRUE(hub.Frames().empty());
}

TEST_F(GetStates, QueryFailuresAreTheOnlyLine) {
  hubsim::HubConfig other = HubWith("04", 0x05);
  other.id = "KORVEX";
  AddHub(1, other);
  hubsim::Faults lowerEcho;
  lowerEcho.replies["GP"] = "GARBAGE!\r\n";
  AddHub(2, HubWith("04", 0x05), lowerEcho);
  EXPECT_RUN(Tarvo({"/G:ttyUSB7"}), "Query Err\n", 1);
  EXPECT_RUN(Tarvo({"/G:ttyUSB1", "-B"}), "ID Err\n", 1);
  EXPECT_RUN(Tarvo({"/G:ttyUSB2", "-H"}), "Get Port State Err\n", 1);
}

TEST_F(GetStates, LowerCaseStateRepliesAreRead) {
  hubsim::Faults lower;
  lower.replies["GP"] = "a6010000\r\n";
  AddHub(0, HubWith("16", 0), lower);
  EXPECT_RUN(Tarvo({"/G:ttyUSB0", "-H"}), "A6010000\n", 0);
  EXPECT_RUN(Tarvo({"/G:ttyUSB0"}),
             "On=2,3,6,8,9 Off=1,4,5,7,10,11,12,13,14,15,16\n", 0);
}
