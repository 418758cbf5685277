#include "link/messages.h"

#include <gtest/gtest.h>

TEST(FrameTest, CodeFieldsCarriageReturn) {
  EXPECT_EQ("?Q\r", BuildFrame(kQueryCode));
  EXPECT_EQ("GP\r", BuildFrame(kGetStateCode));
  EXPECT_EQ("WPmira    \r", BuildFrame(kSaveCode, "mira    "));
  EXPECT_EQ("RDabc     \r", BuildFrame(kRestoreCode, "abc     "));
  EXPECT_EQ("RHmira    \r", BuildFrame(kResetCode, "mira    "));
  EXPECT_EQ("SPmira    A6010000\r", BuildFrame(kSetCode, "mira    ", "A6010000"));
  EXPECT_EQ("FPmira    A6010000\r",
            BuildFrame(kSetFlashCode, "mira    ", "A6010000"));
  EXPECT_EQ("CPold     new     \r",
            BuildFrame(kChangePasswordCode, "old     ", "new     "));
}

TEST(ReplyTextTest, EndsAtTheFirstNul) {
  EXPECT_EQ("GA6", ReplyText(std::string("GA6\0" "010000\r\n", 12)));
  EXPECT_EQ("", ReplyText(std::string("\0E01\r\n", 6)));
  EXPECT_EQ("E01\r\n", ReplyText("E01\r\n"));
}

TEST(SetReplyTest, AcceptedOnlyWithTheExactEcho) {
  EXPECT_EQ(SetReplyClass::kAccepted, ClassifySetReply("GA6010000\r\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kAccepted, ClassifySetReply("GA6010000XYZ\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kEchoMismatch,
            ClassifySetReply("Ga6010000\r\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kEchoMismatch, ClassifySetReply("GA60100\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kEchoMismatch, ClassifySetReply("G\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kEchoMismatch,
            ClassifySetReply(std::string("GA601\0" "000\n", 10), "A6010000"));
  EXPECT_EQ(SetReplyClass::kWrongPassword, ClassifySetReply("E01\r\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kWrongPassword, ClassifySetReply("E01xyz\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kRefused, ClassifySetReply("E02\r\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kRefused, ClassifySetReply("E0\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kRefused, ClassifySetReply("\n", "A6010000"));
  EXPECT_EQ(SetReplyClass::kRefused, ClassifySetReply("g\n", "A6010000"));
}

TEST(AcknowledgementTest, WrongPasswordBeforeAcceptance) {
  EXPECT_EQ(ReplyClass::kAccepted, ClassifyAcknowledgement("G\r\n"));
  EXPECT_EQ(ReplyClass::kAccepted, ClassifyAcknowledgement("Ganything\n"));
  EXPECT_EQ(ReplyClass::kWrongPassword, ClassifyAcknowledgement("E01\r\n"));
  EXPECT_EQ(ReplyClass::kWrongPassword, ClassifyAcknowledgement("E01"));
  EXPECT_EQ(ReplyClass::kRefused, ClassifyAcknowledgement("E0"));
  EXPECT_EQ(ReplyClass::kRefused, ClassifyAcknowledgement(""));
  EXPECT_EQ(ReplyClass::kRefused,
            ClassifyAcknowledgement(std::string("\0G\n", 3)));
  EXPECT_TRUE(IsWrongPassword("E01"));
  EXPECT_FALSE(IsWrongPassword("E0"));
  EXPECT_FALSE(IsWrongPassword(std::string("E0\0" "1", 4)));
}
