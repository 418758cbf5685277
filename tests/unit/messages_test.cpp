#include "link/messages.h"

#include <gtest/gtest.h>

#include "link/hubquery.h"

TEST(FrameTest, CodeFieldsCarriageReturn) {
  EXPECT_EQ("?Q\r", BuildFrame(kQueryCode));
  EXPECT_EQ("GP\r", BuildFrame(kGetStatesCode));
  EXPECT_EQ("WPmira    \r", BuildFrame(kSaveStatesCode, "mira    "));
  EXPECT_EQ("RDabc     \r", BuildFrame(kRestoreDefaultsCode, "abc     "));
  EXPECT_EQ("RHmira    \r", BuildFrame(kResetHubCode, "mira    "));
  EXPECT_EQ("SPmira    A6010000\r",
            BuildFrame(kSetStatesCode, "mira    ", "A6010000"));
  EXPECT_EQ("FPmira    A6010000\r",
            BuildFrame(kSetStatesAndFlashCode, "mira    ", "A6010000"));
  EXPECT_EQ("CPold     new     \r",
            BuildFrame(kChangePasswordCode, "old     ", "new     "));
}

TEST(ReplyClassTest, SetRepliesNeedTheExactEcho) {
  const std::pair<std::string, SetReplyClass> cases[] = {
      {"GA6010000\r\n", SetReplyClass::kAccepted},
      {"GA6010000XYZ\n", SetReplyClass::kAccepted},
      {"Ga6010000\r\n", SetReplyClass::kEchoMismatch},
      {"GA60100\n", SetReplyClass::kEchoMismatch},
      {"G\n", SetReplyClass::kEchoMismatch},
      {std::string("GA601\0" "000\n", 10), SetReplyClass::kEchoMismatch},
      {"E01\r\n", SetReplyClass::kWrongPassword},
      {"E01xyz\n", SetReplyClass::kWrongPassword},
      {"E02\r\n", SetReplyClass::kRefused},
      {"\n", SetReplyClass::kRefused},
      {"g\n", SetReplyClass::kRefused},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.second, ClassifySetReply(c.first, "A6010000")) << c.first;
}

TEST(ReplyClassTest, AcknowledgementsWrongPasswordFirst) {
  const std::pair<std::string, ReplyClass> cases[] = {
      {"G\r\n", ReplyClass::kAccepted},
      {"Ganything\n", ReplyClass::kAccepted},
      {"E01\r\n", ReplyClass::kWrongPassword},
      {"E01", ReplyClass::kWrongPassword},
      {"E0", ReplyClass::kRefused},
      {"", ReplyClass::kRefused},
      {std::string("\0G\n", 3), ReplyClass::kRefused},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.second, ClassifyAcknowledgement(c.first)) << c.first;
  EXPECT_FALSE(IsWrongPasswordReply(std::string("E0\0" "1", 4)));
}

TEST(HubReplyTest, QueryRepliesByPosition) {
  struct Case {
    std::string reply;
    std::string status;
    int32_t ports;
    std::string firmware;
  };
  const Case cases[] = {
      {"KORVEN HUB0812.3\r\n", "OK", 8, "12."},
      {"KORVEN-xyz 7ABC\n", "OK", 7, "ABC"},
      {"KORVEN-xyz1AABC\n", "OK", 1, "ABC"},
      {"KORVEN-xyzABABC\n", "OK", 0, "ABC"},
      {"KORVEN-xyz-1ABC\n", "OK", -1, "ABC"},
      {"KORVEN-xyz08 1 \r\n", "OK", 8, " 1 "},
      {"KORVEN HUB08123\n", "OK", 8, "123"},
      {"korven HUB0812.3\r\n", "ID Err", -99, "untouched"},
      {"KORVEN HUB0812\n", "ID Err", -99, "untouched"},
      {"KORVEN HUB\n08123456\n", "ID Err", -99, "untouched"},
      {"\n", "ID Err", -99, "untouched"},
  };
  for (const Case& c : cases) {
    HubReport report;
    report.port_count = -99;
    report.firmware = "untouched";
    EXPECT_EQ(c.status, DecodeQueryReply(c.reply, &report)) << c.reply;
    EXPECT_EQ(c.ports, report.port_count) << c.reply;
    EXPECT_EQ(c.firmware, report.firmware) << c.reply;
  }
}

TEST(HubReplyTest, StateRepliesAreEightHexDigits) {
  HubReport report;
  EXPECT_EQ("OK", DecodeStateReply("a6010000\r\n", &report));
  EXPECT_EQ(0x1A6u, report.states);
  for (const std::string& bad : {std::string("A601\r\n"), std::string("A6X10000\n"),
                                std::string("A601\0" "000\r\n", 11), std::string("\n")})
    EXPECT_EQ("Get Port State Err", DecodeStateReply(bad, &report));
  EXPECT_EQ(0x1A6u, report.states);
}
