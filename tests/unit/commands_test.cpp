// Every command, in-process, against a simulated hub: what it prints, its
// exit status, the frames the hub receives, and the states it leaves.
#include <gtest/gtest.h>

#include "commands/query.h"
#include "simhubs.h"

namespace {

const char kQuery[] = "?Q\r";
const char kGetStates[] = "GP\r";

struct CommandCase {
  const char* name;
  hubsim::HubConfig config;
  hubsim::Faults faults;
  std::vector<std::string> args;   // the command word names ttyUSB0
  std::vector<std::string> lines;  // "{name}" stands for the hub's name
  int32_t exit_status;
  std::vector<std::string> frames;
  std::string states_after = "";  // the hub's states afterwards, if checked
};

std::vector<std::string> QueryThen(const std::string& frame) {
  return {kQuery, kGetStates, frame};
}

hubsim::HubConfig WithPassword(hubsim::HubConfig config,
                               const std::string& field) {
  config.password = field;
  return config;
}

hubsim::HubConfig WithId(const std::string& id) {
  hubsim::HubConfig config = HubWith("04", 0x5);
  config.id = id;
  return config;
}

hubsim::Faults SilentAfterFrames(int32_t frames) {
  hubsim::Faults faults;
  for (int32_t n = frames; n < frames + 4; ++n) faults.repliesByFrame[n] = "";
  return faults;
}

hubsim::Faults Replies(std::map<int32_t, std::string> by_frame) {
  hubsim::Faults faults;
  faults.repliesByFrame = std::move(by_frame);
  return faults;
}

const std::vector<CommandCase> kCases = {
    // Query one hub.
    {"QueryHubLine", HubWith("12", 0xA00), {}, {"/Q:ttyUSB0"},
     {"{name}, 12 ports, On=10,12, Off=1,2,3,4,5,6,7,8,9,11, FW=2.1"}, 0,
     {kQuery, kGetStates}},
    {"QueryHubRecord", HubWith("12", 0xA00), {}, {"/Q:ttyUSB0", "-f"},
     {"000A00000C2.1\r"}, 0, {kQuery, kGetStates}},
    {"QueryHubRecordNegativeCount", HubWith("-1", 0x1), {}, {"/Q:ttyUSB0", "-F"},
     {"01000000FFFFFFFF2.1\r"}, 0, {kQuery, kGetStates}},
    {"QueryHubRecordNulInFirmware", HubWith("04", 0x5, std::string("1\0" "3", 3)),
     {}, {"/Q:ttyUSB0", "-F"}, {std::string("0500000004" "1\0" "3\r", 14)}, 0,
     {kQuery, kGetStates}},
    {"QueryHubNoPorts", HubWith("00", 0xFFFF), {}, {"/Q:ttyUSB0"},
     {"{name}, 0 ports, On=None, Off=None, FW=2.1"}, 0, {kQuery, kGetStates}},
    {"QueryNotAHub", WithId("korven"), {}, {"/Q:ttyUSB0"}, {"ID Err"}, 1,
     {kQuery}},
    {"QueryStateNotHex", HubWith("04", 0), Answering("GP", "A601\r\n"),
     {"/Q:ttyUSB0"}, {"Get Port State Err"}, 1, {kQuery, kGetStates}},
    {"QuerySilent", {}, Silent(), {"/Q:ttyUSB0"}, {"Query Err"}, 1, {kQuery}},
    {"QueryTwentyBytes", {}, Answering("?Q", "KORVEN HUB042.1" + std::string(30, '.')),
     {"/Q:ttyUSB0"}, {"Query Err"}, 1, {kQuery}},
    // Get states.
    {"GetLists", HubWith("04", 0x5), {}, {"/G:ttyUSB0"}, {"On=1,3 Off=2,4"}, 0,
     {kQuery, kGetStates}},
    {"GetBinary", HubWith("12", 0xA00), {}, {"/G:ttyUSB0", "-B"},
     {"101000000000"}, 0, {kQuery, kGetStates}},
    {"GetHex", HubWith("04", 0x5), {}, {"/G:ttyUSB0", "-h"}, {"05000000"}, 0,
     {kQuery, kGetStates}},
    {"GetLowerCaseStateReply", HubWith("04", 0), Answering("GP", "0a000000\r\n"),
     {"/G:ttyUSB0", "-H"}, {"0A000000"}, 0, {kQuery, kGetStates}},
    {"GetAbove32Ports", HubWith("40", 0xFFFFFFFF), {}, {"/G:ttyUSB0", "-B"},
     {std::string(8, '0') + std::string(32, '1')}, 0, {kQuery, kGetStates}},
    {"GetStateNulInside", HubWith("04", 0),
     Answering("GP", std::string("0500\0" "000\r\n", 11)), {"/G:ttyUSB0"},
     {"Get Port State Err"}, 1, {kQuery, kGetStates}},
    {"GetHangUpMidReply", HubWith("04", 0), [] {
       hubsim::Faults f;
       f.hangUpAfterBytes = 4;
       return f;
     }(), {"/G:ttyUSB0", "-B"}, {"Query Err"}, 1, {kQuery}},
    // Set states.
    {"SetOnePort", HubWith("04", 0), {}, {"/S:ttyUSB0", "1:3"}, {}, 0,
     QueryThen("SPmira    04000000\r"), "04000000"},
    {"SetKeepsAbsentPorts", HubWith("04", 0xFFFFFFF0u), {}, {"/S:ttyUSB0", "1:1"},
     {}, 0, QueryThen("SPmira    F1FFFFFF\r"), "F1FFFFFF"},
    {"SetHexForm", HubWith("10", 0), {}, {"/s:ttyusb0", "h:a601"}, {}, 0,
     QueryThen("SPmira    A6FDFFFF\r"), "A6FDFFFF"},
    {"SetFlash", HubWith("04", 0), {}, {"/F:ttyUSB0", "1:2"}, {}, 0,
     QueryThen("FPmira    02000000\r"), "02000000"},
    {"SetWithPassword", WithPassword(HubWith("04", 0), "Ab C    "), {},
     {"/S:ttyUSB0", "Ab C", "1:2"}, {}, 0, QueryThen("SPAb C    02000000\r"),
     "02000000"},
    {"SetEmptyPassword", WithPassword(HubWith("04", 0), "        "), {},
     {"/S:ttyUSB0", "", "1:2"}, {}, 0, QueryThen("SP        02000000\r"),
     "02000000"},
    {"SetWrongPassword", WithPassword(HubWith("04", 0), "right   "), {},
     {"/S:ttyUSB0", "1:3"}, {"Password Error!"}, 1,
     QueryThen("SPmira    04000000\r"), "00000000"},
    {"SetStateFormatAfterQuery", HubWith("04", 0x5), {}, {"/S:ttyUSB0", "x:3"},
     {"State Format Error!"}, 1, {kQuery, kGetStates}, "05000000"},
    {"SetInvalidNumberAfterQuery", HubWith("04", 0x5), {}, {"/S:ttyUSB0", "0:5"},
     {"Invalid Number!"}, 1, {kQuery, kGetStates}, "05000000"},
    {"SetQueryFailsFirst", WithId("korven"), {}, {"/S:ttyUSB0", "x:bad"},
     {"ID Err"}, 1, {kQuery}},
    {"SetLowerCaseEcho", HubWith("04", 0), Answering("SP", "g04000000\r\n"),
     {"/S:ttyUSB0", "1:3"}, {"Command Error!"}, 1,
     QueryThen("SPmira    04000000\r")},
    {"SetWrongEcho", HubWith("04", 0), Answering("SP", "Gf5ffffff\r\n"),
     {"/S:ttyUSB0", "B:0101"}, {"Set Port State Error!"}, 1,
     QueryThen("SPmira    F5FFFFFF\r")},
    {"SetRefused", HubWith("04", 0), Answering("SP", "E02\r\n"),
     {"/S:ttyUSB0", "1:3"}, {"Command Error!"}, 1,
     QueryThen("SPmira    04000000\r")},
    {"SetLongEcho", HubWith("04", 0), Answering("SP", "GF5FFFFFF and a lot more\r\n"),
     {"/S:ttyUSB0", "B:0101"}, {"Error Parameters"}, 1,
     QueryThen("SPmira    F5FFFFFF\r")},
    {"SetUnanswered", HubWith("04", 0), Answering("SP", ""), {"/S:ttyUSB0", "1:1"},
     {"Read Timeout"}, 1, QueryThen("SPmira    01000000\r")},
    {"SetSetEchoNulInside", HubWith("04", 0),
     Answering("SP", std::string("G0100\0" "000\r\n", 12)), {"/S:ttyUSB0", "1:1"},
     {"Set Port State Error!"}, 1, QueryThen("SPmira    01000000\r")},
    // Change password.
    {"PasswordFromDefault", {}, {}, {"/P:ttyUSB0", "pw5ch"}, {}, 0,
     {"CPmira    pw5ch   \r"}},
    {"PasswordEmptyOld", WithPassword({}, "        "), {}, {"/P:ttyUSB0", "", "new"},
     {}, 0, {"CP        new     \r"}},
    {"PasswordRefused", WithPassword({}, "other   "), {}, {"/P:ttyUSB0", "x"},
     {"Invalid Password!"}, 1, {"CPmira    x       \r"}},
    {"PasswordOtherReply", {}, Answering("CP", "X\r\n"), {"/P:ttyUSB0", "x"},
     {"Change Password Error!"}, 1, {"CPmira    x       \r"}},
    {"PasswordNulReply", {}, Answering("CP", std::string("\0G\r\n", 4)),
     {"/P:ttyUSB0", "x"}, {"Change Password Error!"}, 1, {"CPmira    x       \r"}},
    {"PasswordSilent", {}, Silent(), {"/P:ttyUSB0", "x"}, {"Change Password Error!"},
     1, {"CPmira    x       \r"}},
    // Save, restore, reset.
    {"SaveStates", HubWith("04", 0x5), {}, {"/W:ttyUSB0"}, {}, 0, {"WPmira    \r"}},
    {"RestoreDefaults", WithPassword(HubWith("04", 0x5), "pw6chr  "), {},
     {"/d:ttyusb0", "pw6chr"}, {}, 0, {"RDpw6chr  \r"}, "FFFFFFFF"},
    {"ResetHub", HubWith("04", 0x5), {}, {"/R:ttyUSB0", "12345678"}, {"Invalid Password!"},
     1, {"RH12345678\r"}},
    {"SaveRefused", {}, Answering("WP", "X\r\n"), {"/W:ttyUSB0"},
     {"Error to Save Port States to Flash!"}, 1, {"WPmira    \r"}},
    {"RestoreRefused", {}, Answering("RD", "E02\r\n"), {"/D:ttyUSB0"},
     {"Error to Restore Factory Default!"}, 1, {"RDmira    \r"}},
    {"ResetOtherReplyIsDone", {}, Answering("RH", "E02\r\n"), {"/R:ttyUSB0"}, {},
     0, {"RHmira    \r"}},
    {"ResetNulReplyIsDone", {}, Answering("RH", std::string("\0E01\r\n", 6)),
     {"/R:ttyUSB0"}, {}, 0, {"RHmira    \r"}},
    {"SaveSilent", {}, Silent(), {"/W:ttyUSB0"}, {"Save Port States Error!"}, 1,
     {"WPmira    \r"}},
    {"RestoreSilent", {}, Silent(), {"/D:ttyUSB0"}, {"Restore Default Error!"}, 1,
     {"RDmira    \r"}},
    {"ResetSilent", {}, Silent(), {"/R:ttyUSB0"}, {}, 0, {"RHmira    \r"}},
    {"ResetWrongPasswordThenSilence", {}, Answering("RH", "E01"), {"/R:ttyUSB0"},
     {"Invalid Password!"}, 1, {"RHmira    \r"}},
    {"SaveWrongPasswordThenSilence", {}, Answering("WP", "E01"), {"/W:ttyUSB0"},
     {"Save Port States Error!"}, 1, {"WPmira    \r"}},
    // Power cycle.
    {"CycleOnePort", HubWith("04", 0x5), {}, {"/C:ttyUSB0", "3@0.2"}, {}, 0,
     {kQuery, kGetStates, "SPmira    01000000\r", "SPmira    05000000\r"},
     "05000000"},
    {"CycleAllKeepsAbsentPorts", HubWith("04", 0xFFFFFFF2u), {},
     {"/C:ttyUSB0", "pw", "all@0"}, {"Password Error!"}, 1,
     {kQuery, kGetStates, "SPpw      F0FFFFFF\r", "SPpw      FFFFFFFF\r"},
     "F2FFFFFF"},
    {"CycleSwitchesOnWhatWasOff", WithPassword(HubWith("04", 0xFFFFFFF2u), "pw      "),
     {}, {"/C:ttyUSB0", "pw", "ALL@0"}, {}, 0,
     {kQuery, kGetStates, "SPpw      F0FFFFFF\r", "SPpw      FFFFFFFF\r"},
     "FFFFFFFF"},
    {"CyclePortOutOfRange", HubWith("04", 0x5), {}, {"/C:ttyUSB0", "5"},
     {"Invalid Number!"}, 1, {kQuery, kGetStates}, "05000000"},
    {"CycleSecondRefused", HubWith("04", 0xF), Replies({{3, "E02\r\n"}}),
     {"/C:ttyUSB0", "2,4@0"}, {"Ports Left Off!"}, 1,
     {kQuery, kGetStates, "SPmira    05000000\r", "SPmira    0F000000\r"},
     "05000000"},
    {"CycleSecondUnanswered", HubWith("04", 0xF), SilentAfterFrames(3),
     {"/C:ttyUSB0", "1@0"}, {"Ports Left Off!"}, 1,
     {kQuery, kGetStates, "SPmira    0E000000\r", "SPmira    0F000000\r"}},
    {"CycleFirstEchoWrongSecondSent", HubWith("04", 0xF),
     Replies({{2, "G00000000\r\n"}}), {"/C:ttyUSB0", "1@0"},
     {"Set Port State Error!"}, 1,
     {kQuery, kGetStates, "SPmira    0E000000\r", "SPmira    0F000000\r"},
     "0F000000"},
    {"CycleFirstUnanswered", HubWith("04", 0xF), SilentAfterFrames(2),
     {"/C:ttyUSB0", "1@0"}, {"Ports Left Off!"}, 1,
     {kQuery, kGetStates, "SPmira    0E000000\r", "SPmira    0F000000\r"}},
    {"CycleQueryFails", {}, Silent(), {"/C:ttyUSB0", "1"}, {"Query Err"}, 1,
     {kQuery}},
};

class Commands : public ::testing::TestWithParam<CommandCase> {};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

std::string Replace(std::string text, const std::string& name) {
  const size_t at = text.find("{name}");
  if (at != std::string::npos) text.replace(at, 6, name);
  return text;
}

}  // namespace

TEST_P(Commands, PrintExitFramesStates) {
  const CommandCase& c = GetParam();
  auto hub = StartHub(c.config, c.faults);
  LineCollector out;
  const Outcome outcome = RunCommandOn(hub->TerminalPath(), c.args, &out);
  if (!outcome.message.empty()) out.lines.push_back(outcome.message);
  std::vector<std::string> expected;
  for (const std::string& line : c.lines)
    expected.push_back(Replace(line, HubName(hub->TerminalPath())));
  EXPECT_EQ(expected, out.lines);
  EXPECT_EQ(c.exit_status, outcome.exit_status);
  EXPECT_EQ(c.frames, hub->Frames());
  if (!c.states_after.empty()) {
    EXPECT_EQ(c.states_after, hubsim::StateHex(hub->Config().states));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, Commands, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CommandCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(NoHubAtThePort, EachCommandSaysItsOwnWay) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/Q:ttyUSB0"}, "Query Err"},
      {{"/G:ttyUSB0"}, "Query Err"},
      {{"/S:ttyUSB0", "1:1"}, "Query Err"},
      {{"/P:ttyUSB0", "x"}, "Change Password Error!"},
      {{"/W:ttyUSB0"}, "Save Port States Error!"},
      {{"/D:ttyUSB0"}, "Restore Default Error!"},
      {{"/R:ttyUSB0"}, "Open Port Error!"},  // the message never went out
      {{"/C:ttyUSB0", "1"}, "Query Err"},
  };
  for (const auto& c : cases) {
    LineCollector out;
    const Outcome outcome = RunCommandOn("/nonexistent/ttyUSB9", c.first, &out);
    EXPECT_EQ(c.second, outcome.message) << c.first[0];
    EXPECT_EQ(1, outcome.exit_status) << c.first[0];
    EXPECT_TRUE(out.lines.empty());
  }
  LineCollector out;
  EXPECT_EQ("Set Port Option Error!",
            RunCommandOn("/dev/null", {"/R:ttyUSB0"}, &out).message);
}

TEST(PowerCycleTest, PortsStayOffForTheTimeAskedAtTheHub) {
  auto hub = StartHub(HubWith("04", 0xF));
  LineCollector out;
  const Outcome outcome =
      RunCommandOn(hub->TerminalPath(), {"/C:ttyUSB0", "2,3@0.5"}, &out);
  EXPECT_EQ("", outcome.message);
  const std::vector<hubsim::FrameRecord> records = hub->Records();
  ASSERT_EQ(4u, records.size());
  EXPECT_EQ("SPmira    09000000\r", records[2].bytes);
  EXPECT_EQ("SPmira    0F000000\r", records[3].bytes);
  const int64_t off_us = records[3].arrivedMicros - records[2].arrivedMicros;
  EXPECT_GE(off_us, 500000);
  if (TimingIsNative()) {
    EXPECT_LE(off_us, 550000);
  }
}
