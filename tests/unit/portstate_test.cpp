#include "portstate/portstate.h"

#include <gtest/gtest.h>

namespace {

std::string Hex(PS64 word) {
  std::string text = "unchanged";
  htos_PS64(word, &text);
  return text;
}

std::string Lists(PS64 word, int32_t nPorts) {
  std::string on;
  std::string off;
  ParsePortStates(word, nPorts, &on, &off);
  return "On=" + on + " Off=" + off;
}

}  // namespace

TEST(StateHexTest, LowFourBytesLeastSignificantFirst) {
  EXPECT_EQ("A6010000", Hex(0x1A6));
  EXPECT_EQ("00000000", Hex(0));
  EXPECT_EQ("FFFFFFFF", Hex(0xFFFFFFFFu));
  EXPECT_EQ("00010000", Hex(0x100));
  EXPECT_EQ("00000080", Hex(0x80000000u));
  EXPECT_EQ("00000000", Hex(0xFFFFFFFF00000000ull));
  EXPECT_EQ("78563412", Hex(0xABCDEF0012345678ull));
}

TEST(StateHexTest, ParsesEitherCaseAndOnlyTheFirstEightCharacters) {
  EXPECT_EQ(0x1A6u, s2hex_l("A6010000"));
  EXPECT_EQ(0x1A6u, s2hex_l("a6010000"));
  EXPECT_EQ(0x1A6u, s2hex_l("A6010000\r\n"));
  EXPECT_EQ(0x12345678u, s2hex_l("78563412"));
  EXPECT_EQ(0xFFFFFFFFu, s2hex_l("FFFFFFFF"));
  PS64 word = 7;
  stoh_PS64("01000000", &word);
  EXPECT_EQ(1u, word);
}

TEST(StateHexTest, RoundTripsEveryByteValue) {
  for (uint32_t b = 0; b < 256; ++b) {
    PS64 word = (PS64{b} << 24) | (PS64{255 - b} << 8) | b;
    EXPECT_EQ(word, s2hex_l(Hex(word))) << b;
  }
}

TEST(StateHexTest, ShortOrForeignTextNeverReadsBeyondIt) {
  EXPECT_EQ(0x1A6u, s2hex_l("A601"));
  EXPECT_EQ(0u, s2hex_l(""));
  EXPECT_EQ(0u, s2hex_l("ZZZZZZZZ"));
  EXPECT_FALSE(IsStateHex("A601000"));
  EXPECT_FALSE(IsStateHex("A601\r\n"));
  EXPECT_FALSE(IsStateHex("A6010G00"));
  EXPECT_FALSE(IsStateHex(std::string("A601\0" "000", 8)));
  EXPECT_TRUE(IsStateHex("a6010000"));
  EXPECT_TRUE(IsStateHex("A6010000\r\n"));
}

TEST(PortListsTest, AscendingDecimalOrNone) {
  EXPECT_EQ("On=1,3 Off=2,4", Lists(0x5, 4));
  EXPECT_EQ("On=None Off=1,2,3,4", Lists(0, 4));
  EXPECT_EQ("On=1,2,3,4 Off=None", Lists(0xF, 4));
  EXPECT_EQ("On=10,12 Off=1,2,3,4,5,6,7,8,9,11", Lists(0xA00, 12));
  EXPECT_EQ("On=None Off=None", Lists(0xFFFF, 0));
  EXPECT_EQ("On=None Off=None", Lists(0xFFFF, -1));
  // Bits above the port count belong to absent ports and are not listed.
  EXPECT_EQ("On=1,3 Off=2,4", Lists(0xFFFFFFF5u, 4));
}

TEST(PortListsTest, PortsBeyondTheWordAreOff) {
  std::string on;
  std::string off;
  ParsePortStates(~PS64{0}, 70, &on, &off);
  EXPECT_EQ("65,66,67,68,69,70", off);
  ParsePortStates(0xFFFFFFFFu, 40, &on, &off);
  EXPECT_EQ("33,34,35,36,37,38,39,40", off);
}

TEST(BinaryStatesTest, HighestPortFirst) {
  EXPECT_EQ("0101", BinaryStates(0x5, 4));
  EXPECT_EQ("0000", BinaryStates(0, 4));
  EXPECT_EQ("", BinaryStates(0xF, 0));
  EXPECT_EQ("", BinaryStates(0xF, -3));
  EXPECT_EQ("1000000000", BinaryStates(0x200, 10));
  EXPECT_EQ("1" + std::string(31, '0'), BinaryStates(0x80000000u, 32));
  EXPECT_EQ("101000000000", BinaryStates(0xA00, 12));
}

TEST(BinaryStatesTest, PortsAbove32AreAlwaysOff) {
  EXPECT_EQ(std::string(8, '0') + std::string(32, '1'),
            BinaryStates(~PS64{0}, 40));
}
