// Every command, in-process, against a simulated hub: what it prints, its
// exit status, the frames the hub receives, and the states it leaves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "simhubs.h"

namespace {

struct CommandCase {
  const char* name;
  hubsim::HubConfig config;
  hubsim::Faults faults;
  std::vector<std::string> args;  // the command word names ttyUSB0
  std::string result;             // as TestRig::Run gives it
  std::string frames;             // as received, '|' between them, no '\r'
  std::string states = "";        // the hub's states afterwards, if checked
};

hubsim::HubConfig Hub(const std::string& ports, uint32_t states,
                      const std::string& password = "mira",
                      const std::string& id = "KORVEN") {
  hubsim::HubConfig config = HubWith(ports, states);
  config.password = password + std::string(8 - password.size(), ' ');
  config.id = id;
  return config;
}

hubsim::Faults ByFrame(std::map<int32_t, std::string> replies) {
  hubsim::Faults faults;
  faults.replies_by_frame = std::move(replies);
  return faults;
}

template <typename... Words>
std::vector<std::string> Args(const Words&... words) {
  return {words...};
}

const hubsim::HubConfig kDefaultHub;
const hubsim::Faults kNoFaults;
const char kQueried[] = "?Q|GP";
// Text ends the firmware at a NUL, as C strings do.
const hubsim::HubConfig kNulInFirmware =
    HubWith("04", 5, std::string("1\0003", 3));

// How each command reads the hub's replies, and what it sends. The forms
// of output, by path and in a scan, are shown in hubnames_test.cpp and
// scan_test.cpp.
const std::vector<CommandCase> kCases = {
    {"QueryRecordNegativeCount", Hub("-1", 1), kNoFaults,
     Args("/Q:ttyUSB0", "-f"), "01000000FFFFFFFF2.1\r\n(0)", kQueried},
    {"QueryLineNulInFirmware", kNulInFirmware, kNoFaults, Args("/Q:ttyUSB0"),
     "ttyUSB0, 4 ports, On=1,3, Off=2,4, FW=1\n(0)", kQueried},
    {"QueryRecordNulInFirmware", kNulInFirmware, kNoFaults,
     Args("/Q:ttyUSB0", "-F"), "05000000041\r\n(0)", kQueried},
    {"QueryNotAHub", Hub("04", 5, "mira", "korven"), kNoFaults,
     Args("/Q:ttyUSB0"), "ID Err\n(1)", "?Q"},
    {"QueryStateNotHex", Hub("04", 0), Answering("GP", "A601\r\n"),
     Args("/Q:ttyUSB0"), "Get Port State Err\n(1)", kQueried},
    {"QuerySilent", kDefaultHub, Silent(), Args("/Q:ttyUSB0"), "Query Err\n(1)",
     "?Q"},
    {"GetHexLowerCaseReply", Hub("04", 0), Answering("GP", "0a000000\r\n"),
     Args("/G:ttyUSB0", "-h"), "0A000000\n(0)", kQueried},
    {"SetFlash", Hub("04", 0), kNoFaults, Args("/f:ttyusb0", "h:05"), "(0)",
     "?Q|GP|FPmira    F5FFFFFF", "F5FFFFFF"},
    {"SetWithPassword", Hub("04", 0, "Ab C"), kNoFaults,
     Args("/S:ttyUSB0", "Ab C", "1:2"), "(0)", "?Q|GP|SPAb C    02000000",
     "02000000"},
    {"SetWrongPassword", Hub("04", 0, "right"), kNoFaults,
     Args("/S:ttyUSB0", "1:3"), "Password Error!\n(1)",
     "?Q|GP|SPmira    04000000", "00000000"},
    {"SetStateFormatAfterQuery", Hub("04", 5), kNoFaults,
     Args("/S:ttyUSB0", "x:3"), "State Format Error!\n(1)", kQueried},
    {"SetInvalidNumberAfterQuery", Hub("04", 5), kNoFaults,
     Args("/S:ttyUSB0", "0:5"), "Invalid Number!\n(1)", kQueried},
    {"SetQueryFailsFirst", Hub("04", 5, "mira", "korven"), kNoFaults,
     Args("/S:ttyUSB0", "x:bad"), "ID Err\n(1)", "?Q"},
    {"SetLowerCaseEcho", Hub("04", 0), Answering("SP", "g04000000\r\n"),
     Args("/S:ttyUSB0", "1:3"), "Command Error!\n(1)",
     "?Q|GP|SPmira    04000000"},
    {"SetWrongEcho", Hub("04", 0), Answering("SP", "Gf5ffffff\r\n"),
     Args("/S:ttyUSB0", "B:0101"), "Set Port State Error!\n(1)",
     "?Q|GP|SPmira    F5FFFFFF"},
    {"SetLongEcho", Hub("04", 0),
     Answering("SP", "GF5FFFFFF and a lot more\r\n"),
     Args("/S:ttyUSB0", "B:0101"), "Error Parameters\n(1)",
     "?Q|GP|SPmira    F5FFFFFF"},
    {"SetUnanswered", Hub("04", 0), Answering("SP", ""),
     Args("/S:ttyUSB0", "1:1"), "Read Timeout\n(1)",
     "?Q|GP|SPmira    01000000"},
    {"PasswordFromDefault", kDefaultHub, kNoFaults, Args("/P:ttyUSB0", "pw5ch"),
     "(0)", "CPmira    pw5ch   "},
    {"PasswordOtherReply", kDefaultHub, Answering("CP", "X\r\n"),
     Args("/P:ttyUSB0", "x"), "Change Password Error!\n(1)",
     "CPmira    x       "},
    {"SaveStates", Hub("04", 5), {}, Args("/W:ttyUSB0"), "(0)", "WPmira    "},
    {"RestoreDefaults", Hub("04", 5, "pw6chr"), kNoFaults,
     Args("/d:ttyusb0", "pw6chr"), "(0)", "RDpw6chr  ", "FFFFFFFF"},
    {"ResetWrongPassword", Hub("04", 5), kNoFaults,
     Args("/R:ttyUSB0", "12345678"), "Invalid Password!\n(1)", "RH12345678"},
    {"SaveRefused", kDefaultHub, Answering("WP", "X\r\n"), Args("/W:ttyUSB0"),
     "Error to Save Port States to Flash!\n(1)", "WPmira    "},
    {"RestoreRefused", kDefaultHub, Answering("RD", "E02\r\n"),
     Args("/D:ttyUSB0"), "Error to Restore Factory Default!\n(1)",
     "RDmira    "},
    {"ResetOtherReplyIsDone", kDefaultHub, Answering("RH", "E02\r\n"),
     Args("/R:ttyUSB0"), "(0)", "RHmira    "},
    {"SaveSilent", kDefaultHub, Silent(), Args("/W:ttyUSB0"),
     "Save Port States Error!\n(1)", "WPmira    "},
    {"ResetSilent", kDefaultHub, Silent(), Args("/R:ttyUSB0"), "(0)",
     "RHmira    "},
    {"ResetWrongPasswordThenSilence", kDefaultHub, Answering("RH", "E01"),
     Args("/R:ttyUSB0"), "Invalid Password!\n(1)", "RHmira    "},
    // Power cycle: off, wait, on, nothing else changed.
    {"CycleOnePort", Hub("04", 5), kNoFaults, Args("/C:ttyUSB0", "3@0.2"),
     "(0)", "?Q|GP|SPmira    01000000|SPmira    05000000", "05000000"},
    {"CycleAllKeepsAbsentPorts", Hub("04", 0xFFFFFFF2u, "pw"), kNoFaults,
     Args("/C:ttyUSB0", "pw", "ALL@0"), "(0)",
     "?Q|GP|SPpw      F0FFFFFF|SPpw      FFFFFFFF", "FFFFFFFF"},
    {"CycleRefusedNothingWasOff", Hub("04", 0xF), kNoFaults,
     Args("/C:ttyUSB0", "pw", "all@0"), "Password Error!\n(1)",
     "?Q|GP|SPpw      00000000|SPpw      0F000000", "0F000000"},
    {"CyclePortOutOfRange", Hub("04", 5), kNoFaults, Args("/C:ttyUSB0", "5"),
     "Invalid Number!\n(1)", kQueried},
    // Only ports 1 to 32 can be switched back on: refused before anything
    // is sent.
    {"CyclePortAboveTheWord", Hub("40", 5), kNoFaults,
     Args("/C:ttyUSB0", "33@0"), "Invalid Number!\n(1)", ""},
    {"CycleSecondRefused", Hub("04", 0xF), ByFrame({{3, "E02\r\n"}}),
     Args("/C:ttyUSB0", "2,4@0"), "Ports Left Off!\n(1)",
     "?Q|GP|SPmira    05000000|SPmira    0F000000", "05000000"},
    {"CycleSecondUnanswered", Hub("04", 0xF), ByFrame({{3, ""}}),
     Args("/C:ttyUSB0", "1@0"), "Ports Left Off!\n(1)",
     "?Q|GP|SPmira    0E000000|SPmira    0F000000"},
    {"CycleFirstEchoWrong", Hub("04", 0xF), ByFrame({{2, "G00000000\r\n"}}),
     Args("/C:ttyUSB0", "1@0"), "Set Port State Error!\n(1)",
     "?Q|GP|SPmira    0E000000|SPmira    0F000000", "0F000000"},
    {"CycleFirstUnanswered", Hub("04", 0xF), ByFrame({{2, ""}, {3, ""}}),
     Args("/C:ttyUSB0", "1@0"), "Ports Left Off!\n(1)",
     "?Q|GP|SPmira    0E000000|SPmira    0F000000"},
};

class Commands : public ::testing::TestWithParam<CommandCase> {};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

}  // namespace

TEST_P(Commands, PrintExitFramesStates) {
  const CommandCase& c = GetParam();
  TestRig rig;
  const hubsim::Hub& hub = rig.AddHub("ttyUSB0", c.config, c.faults);
  EXPECT_EQ(c.result, rig.Run(c.args));
  std::string frames;
  for (const std::string& frame : hub.Frames())
    frames += (frames.empty() ? "" : "|") + frame.substr(0, frame.size() - 1);
  EXPECT_EQ(c.frames, frames);
  if (!c.states.empty()) {
    EXPECT_EQ(c.states, hubsim::StateHex(hub.Config().states));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, Commands, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(NoHubAtThePort, EachCommandSaysItsOwnWay) {
  TestRig rig;
  rig.Link("ttyUSB0", "/nonexistent/ttyUSB9");
  rig.Link("ttyUSB1", "/dev/null");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/G:ttyUSB0"}, "Query Err"},
      {{"/S:ttyUSB0", "1:1"}, "Query Err"},
      {{"/C:ttyUSB0", "1"}, "Query Err"},
      {{"/P:ttyUSB0", "x"}, "Change Password Error!"},
      {{"/W:ttyUSB0"}, "Save Port States Error!"},
      {{"/D:ttyUSB0"}, "Restore Default Error!"},
      {{"/R:ttyUSB0"}, "Open Port Error!"},  // /R: the message never went out
      {{"/R:ttyUSB1"}, "Set Port Option Error!"}};
  for (const auto& [args, message] : cases)
    EXPECT_EQ(message + "\n(1)", rig.Run(args)) << args[0];
}

// The name is re-pointed to another hub during the off time: the second
// set message is not sent there, and the ports are said to be left off.
TEST(PowerCycleTest, ARePointedNameIsNotFollowed) {
  TestRig rig;
  const hubsim::Hub& locked = rig.AddHub("ttyUSB0", HubWith("04", 0xF));
  const hubsim::Hub& other = rig.AddHub("other", HubWith("04", 0xF));
  std::thread re_point([&] {
    EXPECT_TRUE(Eventually([&] { return locked.Frames().size() >= 3; }));
    EXPECT_EQ(
        0, rename(rig.Device("other").c_str(), rig.Device("ttyUSB0").c_str()));
  });
  EXPECT_EQ("Ports Left Off!\n(1)", rig.Run({"/C:ttyUSB0", "1@0.6"}));
  re_point.join();
  EXPECT_EQ(3u, locked.Frames().size());
  EXPECT_EQ("", other.Received());
  EXPECT_EQ(0xEu, locked.Config().states);
}

TEST(PowerCycleTest, PortsStayOffForTheTimeAskedAtTheHub) {
  TestRig rig;
  const hubsim::Hub& hub = rig.AddHub("ttyUSB0", HubWith("04", 0xF));
  EXPECT_EQ("(0)", rig.Run({"/C:ttyUSB0", "2,3@0.5"}));
  const std::vector<hubsim::FrameRecord> records = hub.Records();
  ASSERT_EQ(4u, records.size());
  EXPECT_EQ("SPmira    09000000\r", records[2].bytes);
  EXPECT_EQ("SPmira    0F000000\r", records[3].bytes);
  const double off = static_cast<double>(records[3].arrived_micros -
                                         records[2].arrived_micros) /
                     1e6;
  EXPECT_GE(off, 0.5);
  ExpectAtMost(off, 0.55);
}
