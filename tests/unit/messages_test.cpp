#include "link/messages.h"

#include <gtest/gtest.h>

#include "link/hubquery.h"

TEST(ReplyClassTest, SetRepliesNeedTheExactEchoAcknowledgementsCheckE01First) {
  using S = SetReplyClass;
  // clang-format off
  const std::pair<std::string, S> set[] = {
      {"GA6010000\r\n", S::kAccepted}, {"GA6010000XYZ\n", S::kAccepted},
      {"Ga6010000\r\n", S::kEchoMismatch}, {"G\n", S::kEchoMismatch},
      {std::string("GA601\0" "000\n", 10), S::kEchoMismatch}, {"E01xyz\n", S::kWrongPassword},
      {"E02\r\n", S::kRefused}, {"g\n", S::kRefused}};
  for (const auto& [reply, expected] : set)
    EXPECT_EQ(expected, ClassifySetReply(reply, "A6010000")) << reply;
  using A = ReplyClass;
  const std::pair<std::string, A> acknowledgements[] = {
      {"G\r\n", A::kAccepted}, {"Ganything\n", A::kAccepted}, {"E01", A::kWrongPassword},
      {"E0", A::kRefused}, {"", A::kRefused}, {std::string("\0G\n", 3), A::kRefused}};
  for (const auto& [reply, expected] : acknowledgements)
    EXPECT_EQ(expected, ClassifyAcknowledgement(reply)) << reply;
  EXPECT_FALSE(IsWrongPasswordReply(std::string("E0\0" "1", 4)));
  // clang-format on
}

TEST(HubReplyTest, QueryFieldsByPositionStatesAsEightHexDigits) {
  // clang-format off
  const std::pair<std::string, std::string> queries[] = {
      {"KORVEN HUB0812.3\r\n", "0 8 12."}, {"KORVEN-xyz 7ABC\n", "0 7 ABC"},
      {"KORVEN-xyz1AABC\n", "0 1 ABC"}, {"KORVEN-xyz-1ABC\n", "0 -1 ABC"},
      {"KORVEN-xyz08 1 \r\n", "0 8  1 "}, {"KORVEN HUB08123\n", "0 8 123"},
      // Not a hub: the report is left as it was.
      {"korven HUB0812.3\r\n", "2 -99 x"}, {"KORVEN HUB0812\n", "2 -99 x"},
      {"KORVEN HUB\n08123456\n", "2 -99 x"}};
  for (const auto& [reply, expected] : queries) {
    HubReport report;
    report.port_count = -99;
    report.firmware = "x";
    const QueryStatus status = DecodeQueryReply(reply, &report);
    EXPECT_EQ(expected, std::to_string(static_cast<int>(status)) + " " + std::to_string(report.port_count) + " " +
                            report.firmware);
  }
  HubReport report;
  // clang-format on
  EXPECT_EQ(QueryStatus::kOk, DecodeStateReply("a6010000\r\n", &report));
  EXPECT_EQ(0x1A6u, report.states);
  for (const std::string& bad :
       {std::string("A601\r\n"), std::string("A6X10000\n"),
        std::string("A601\0"
                    "000\r\n",
                    11)})
    EXPECT_EQ(QueryStatus::kNoStates, DecodeStateReply(bad, &report));
  EXPECT_EQ(0x1A6u, report.states);
}
