#include "protocol/messages.h"

#include <gtest/gtest.h>

#include <map>

#include "portstate/portstate.h"
#include "protocol/hubreport.h"

TEST(ReplyClassTest, SetRepliesNeedTheExactEchoAcknowledgementsCheckE01First) {
  using S = SetReplyClass;
  using A = ReplyClass;
  // Lower-case echoes, "g" and a bare "E01" are shown by each command's
  // own cases (commands_test.cpp).
  const std::pair<std::string, S> set[] = {
      {"GA6010000\r\n", S::kAccepted},
      {"GA6010000XYZ\n", S::kAccepted},
      {"G\n", S::kEchoMismatch},
      {std::string("GA601") + '\0' + "000\n", S::kEchoMismatch},
      {"E01xyz\n", S::kWrongPassword},
      {"E02\r\n", S::kRefused}};
  const std::pair<std::string, A> acknowledgements[] = {
      {"G\r\n", A::kAccepted}, {"Ganything\n", A::kAccepted},
      {"E0", A::kRefused},     {"", A::kRefused},
      {"NG\r\n", A::kRefused}, {std::string("\0G\n", 3), A::kRefused}};
  for (const auto& [reply, expected] : set)
    EXPECT_EQ(expected, ClassifySetReply(reply, "A6010000")) << reply;
  for (const auto& [reply, expected] : acknowledgements)
    EXPECT_EQ(expected, ClassifyAcknowledgement(reply)) << reply;
}

// Fields by position; a reply that is not a hub's leaves the report as it
// was. States are eight hex digits.
TEST(HubReplyTest, QueryFieldsByPositionStatesAsEightHexDigits) {
  const std::pair<std::string, std::string> replies[] = {
      {"KORVEN HUB0812.3\r\n", "Q ok 8 12."},
      {"KORVEN-xyz 7ABC\n", "Q ok 7 ABC"},
      {"KORVEN-xyz1AABC\n", "Q ok 1 ABC"},
      {"KORVEN-xyz-1ABC\n", "Q ok -1 ABC"},
      {"KORVEN-xyz08 1 \r\n", "Q ok 8  1 "},
      {"KORVEN HUB08123\n", "Q ok 8 123"},
      {"KORVEN HUB0812\n", "Q not a hub -99 x"},
      {"KORVEN HUB\n08123456\n", "Q not a hub -99 x"},
      {"A6X10000\n", "S no states 77000000"},
      {std::string("A601") + '\0' + "000\r\n", "S no states 77000000"}};
  for (const auto& [reply, expected] : replies) {
    HubReport report;
    report.port_count = -99;
    report.firmware = "x";
    report.states = 0x77;
    const bool states = expected[0] == 'S';
    const ReportStatus status = states ? DecodeStateReply(reply, &report)
                                       : DecodeQueryReply(reply, &report);
    const std::map<ReportStatus, std::string> names = {
        {ReportStatus::kOk, "ok"},
        {ReportStatus::kNotAHub, "not a hub"},
        {ReportStatus::kNoStates, "no states"}};
    EXPECT_EQ(expected, expected.substr(0, 1) + " " + names.at(status) + " " +
                            (states ? FormatStateHex(report.states)
                                    : std::to_string(report.port_count) + " " +
                                          report.firmware))
        << reply;
  }
}
