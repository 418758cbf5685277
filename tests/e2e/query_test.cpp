#include "fixture.h"

using Query = E2E;

TEST_F(Query, ScanListsEveryHubInIndexOrder) {
  AddHub(0, HubWith("04", 0x5, "1.3"));
  AddHub(3, HubWith("12", 0xA00, "2.1"));
  AddHub(12, HubWith("01", 0x0, "A 7"));
  AddHub(255, HubWith("32", 0xFFFFFFFFu, "9.9"));
  EXPECT_RUN(Tarvo({"/Q"}),
             "ttyUSB0, 4 ports, On=1,3, Off=2,4, FW=1.3\n"
             "ttyUSB3, 12 ports, On=10,12, Off=1,2,3,4,5,6,7,8,9,11, FW=2.1\n"
             "ttyUSB12, 1 ports, On=None, Off=1, FW=A 7\n"
             "ttyUSB255, 32 ports, On=1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,"
             "17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32, Off=None, "
             "FW=9.9\n"
             "4 Managed USB Hub(s) Found.\n",
             0);
  EXPECT_RUN(Tarvo({"/Q", "-F"}), "0004ttyUSB0,3,12,255\n", 0);
  EXPECT_RUN(Tarvo({"/q", "-f"}), "0004ttyUSB0,3,12,255\n", 0);
}

TEST_F(Query, ScanWithNoHub) {
  EXPECT_RUN(Tarvo({"/Q"}), "0 Managed USB Hub(s) Found.\n", 0);
  EXPECT_RUN(Tarvo({"/Q", "-F"}), "0000ttyUSB\n", 0);
}

TEST_F(Query, ScanSkipsWhatIsNotAWorkingHubAndStopsAt255) {
  AddHub(0, HubWith("04", 0x5));
  hubsim::HubConfig lowerCase = HubWith("04", 0x5);
  lowerCase.id = "korven";
  AddHub(1, lowerCase);
  AddLink("ttyUSB2", "/dev/null");
  hubsim::Faults noState;
  noState.replies["GP"] = "XYZ\r\n";
  AddHub(4, HubWith("04", 0x5), noState);
  AddLink("ttyUSB5", "/nonexistent");
  AddHub(7, HubWith("08", 0x1));
  AddHub(256, HubWith("08", 0x1));
  EXPECT_RUN(Tarvo({"/Q", "-F"}), "0002ttyUSB0,7\n", 0);
  EXPECT_RUN(Tarvo({"/Q"}),
             "ttyUSB0, 4 ports, On=1,3, Off=2,4, FW=2.1\n"
             "ttyUSB7, 8 ports, On=1, Off=2,3,4,5,6,7,8, FW=2.1\n"
             "2 Managed USB Hub(s) Found.\n",
             0);
}

TEST_F(Query, SingleHubLineAndRecord) {
  hubsim::Hub& hub = AddHub(3, HubWith("16", 0x8000, "1.3"));
  EXPECT_RUN(Tarvo({"/Q:ttyUSB3"}),
             "ttyUSB3, 16 ports, On=16, Off=1,2,3,4,5,6,7,8,9,10,11,12,13,14,"
             "15, FW=1.3\n",
             0);
  EXPECT_RUN(Tarvo({"/q:ttyusb3"}),
             "ttyUSB3, 16 ports, On=16, Off=1,2,3,4,5,6,7,8,9,10,11,12,13,14,"
             "15, FW=1.3\n",
             0);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB3", "-F"}), "0080000010" "1.3\r\n", 0);
  EXPECT_RUN(Tarvo({"/QXttyUSB3", "-f"}), "0080000010" "1.3\r\n", 0);
  const std::vector<std::string> perQuery = {"?Q\r", "GP\r"};
  std::vector<std::string> expected;
  for (int i = 0; i < 4; ++i)
    expected.insert(expected.end(), perQuery.begin(), perQuery.end());
  EXPECT_EQ(expected, hub.Frames());
}

TEST_F(Query, HubRecordShowsThePortCountInHex) {
  AddHub(0, HubWith("10", 0x3, "FW1"));
  AddHub(1, HubWith("04", 0xFFFFFFF5u, "FW1"));
  AddHub(2, HubWith("-1", 0x1, "FW1"));
  AddHub(3, HubWith("AB", 0x1, "FW1"));
  EXPECT_RUN(Tarvo({"/Q:ttyUSB0", "-F"}), "030000000AFW1\r\n", 0);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB1", "-F"}), "F5FFFFFF04FW1\r\n", 0);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB2", "-F"}), "01000000FFFFFFFFFW1\r\n", 0);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB3", "-F"}), "0100000000FW1\r\n", 0);
}

TEST_F(Query, OddPortCounts) {
  AddHub(0, HubWith("40", 0xFFFFFFFFu));
  AddHub(1, HubWith("AB", 0x1));
  AddHub(2, HubWith(" 7", 0x7F));
  EXPECT_RUN(Tarvo({"/Q:ttyUSB0"}),
             "ttyUSB0, 40 ports, On=1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,"
             "18,19,20,21,22,23,24,25,26,27,28,29,30,31,32, "
             "Off=33,34,35,36,37,38,39,40, FW=2.1\n",
             0);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB1"}),
             "ttyUSB1, 0 ports, On=None, Off=None, FW=2.1\n", 0);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB2"}),
             "ttyUSB2, 7 ports, On=1,2,3,4,5,6,7, Off=None, FW=2.1\n", 0);
}

TEST_F(Query, FailuresOfTheHubQuery) {
  hubsim::HubConfig otherId = HubWith("04", 0x5);
  otherId.id = "Korven";
  hubsim::Hub& notAHub = AddHub(1, otherId);
  hubsim::Faults shortId;
  shortId.replies["?Q"] = "KORVEN HUB04\r\n";
  AddHub(2, HubWith("04", 0x5), shortId);
  hubsim::Faults badStates;
  badStates.replies["GP"] = "05X00000\r\n";
  hubsim::Hub& badHub = AddHub(3, HubWith("04", 0x5), badStates);
  hubsim::Faults shortStates;
  shortStates.replies["GP"] = "0500\r\n";
  AddHub(4, HubWith("04", 0x5), shortStates);
  hubsim::Faults nulStates;
  nulStates.replies["GP"] = std::string("0500\0" "000\r\n", 11);
  AddHub(5, HubWith("04", 0x5), nulStates);
  hubsim::Faults overlong;
  overlong.replies["?Q"] = "KORVEN HUB042.1xxxxxxxxxxxx\r\n";
  AddHub(6, HubWith("04", 0x5), overlong);

  EXPECT_RUN(Tarvo({"/Q:ttyUSB9"}), "Query Err\n", 1);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB9", "-F"}), "Query Err\n", 1);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB1"}), "ID Err\n", 1);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB2", "-F"}), "ID Err\n", 1);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB3"}), "Get Port State Err\n", 1);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB4", "-F"}), "Get Port State Err\n", 1);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB5"}), "Get Port State Err\n", 1);
  EXPECT_RUN(Tarvo({"/Q:ttyUSB6"}), "Query Err\n", 1);
  // The state message goes only to a device that identified as a hub.
  EXPECT_EQ(std::vector<std::string>{"?Q\r"}, notAHub.Frames());
  EXPECT_EQ((std::vector<std::string>{"?Q\r", "GP\r"}), badHub.Frames());
}

TEST_F(Query, FormsThatMatchNothingNeverReachAHub) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x5));
  const std::vector<std::vector<std::string>> bad = {
      {"/Q", "-F", "x"}, {"/Q", "x"},     {"/Q", "", "x"},
      {"/Q:ttyUSB0", "-F", "x"}, {"/Q:ttyUSB0", "-B"}, {"/Q:"},
      {"/QUERY"},        {"/Q:ttyUSB"},   {"/Q:ttyACM0"},
      {"/QX"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
    EXPECT_RUN(Tarvo(args), "Invalid Command!\n", 2);
  }
  EXPECT_TRUE(hub.Frames().empty());
}

TEST_F(Query, SilentDevicesAreWaitedForTogether) {
  AddHub(0, HubWith("04", 0x5));
  hubsim::Faults silent;
  silent.silent = true;
  AddHub(1, HubWith("04", 0x5), silent);
  hubsim::Faults noState;
  noState.replies["GP"] = "";
  AddHub(2, HubWith("04", 0x5), noState);
  AddHub(3, HubWith("08", 0x1));

  hubsim::RunResult scan = Tarvo({"/Q"});
  EXPECT_RUN(scan,
             "ttyUSB0, 4 ports, On=1,3, Off=2,4, FW=2.1\n"
             "ttyUSB3, 8 ports, On=1, Off=2,3,4,5,6,7,8, FW=2.1\n"
             "2 Managed USB Hub(s) Found.\n",
             0);
  // Two byte waits, one after the other, would be 20.2 s.
  EXPECT_GE(scan.seconds, kByteWait);
  EXPECT_LT(scan.seconds, 2 * kByteWait);

  hubsim::RunResult one = Tarvo({"/Q:ttyUSB1"});
  EXPECT_RUN(one, "Query Err\n", 1);
  EXPECT_GE(one.seconds, kByteWait);
  EXPECT_LT(one.seconds, kByteWait + 5);
}

TEST_F(Query, ScanOutputKeepsIndexOrderWhateverFinishesFirst) {
  // Low indices answer slowly, high ones at once.
  for (int i = 0; i < 6; ++i) {
    hubsim::Faults slow;
    slow.replyDelayMs = 300 - 50 * i;
    AddHub(i * 40, HubWith("02", static_cast<uint32_t>(i & 3)), slow);
  }
  EXPECT_RUN(Tarvo({"/Q"}),
             "ttyUSB0, 2 ports, On=None, Off=1,2, FW=2.1\n"
             "ttyUSB40, 2 ports, On=1, Off=2, FW=2.1\n"
             "ttyUSB80, 2 ports, On=2, Off=1, FW=2.1\n"
             "ttyUSB120, 2 ports, On=1,2, Off=None, FW=2.1\n"
             "ttyUSB160, 2 ports, On=None, Off=1,2, FW=2.1\n"
             "ttyUSB200, 2 ports, On=1, Off=2, FW=2.1\n"
             "6 Managed USB Hub(s) Found.\n",
             0);
  EXPECT_RUN(Tarvo({"/Q", "-F"}), "0006ttyUSB0,40,80,120,160,200\n", 0);
}
