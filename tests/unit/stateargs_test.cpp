#include "portstate/stateargs.h"

#include <gtest/gtest.h>

namespace {

// Applies a state argument as the set command does and returns the state
// hex string to send, or the error text.
std::string Apply(std::string sPS, int32_t nPorts, const std::string& current) {
  PS64 word = s2hex_l(current);
  std::string hex = "unchanged";
  std::string func(1, sPS[0]);
  std::string status =
      (func == "B" || func == "H")
          ? Update_Port_State_BH(func, sPS, nPorts, &word, &hex)
          : Update_Port_State(func, sPS, nPorts, &word, &hex);
  if (status != "OK") {
    EXPECT_EQ("unchanged", hex) << sPS;
    EXPECT_EQ(s2hex_l(current), word) << sPS;
    return status;
  }
  std::string fromWord;
  htos_PS64(word, &fromWord);
  EXPECT_EQ(fromWord, hex) << sPS;
  return hex;
}

std::string Apply(std::string sPS, int32_t nPorts = 4) {
  return Apply(sPS, nPorts, "00000000");
}

}  // namespace

TEST(AllFormTest, AbsentPortsAreForcedOn) {
  EXPECT_EQ("F0FFFFFF", Apply("0:ALL"));
  EXPECT_EQ("FFFFFFFF", Apply("1:ALL"));
  EXPECT_EQ("FAFFFFFF", Apply("T:ALL", 4, "05000000"));
  EXPECT_EQ("80FFFFFF", Apply("0:ALL", 7));
  EXPECT_EQ("00000000", Apply("0:ALL", 32));
  EXPECT_EQ("00000000", Apply("0:ALL", 40));
  EXPECT_EQ("FFFFFFFF", Apply("0:ALL", 0));
  EXPECT_EQ("FFFFFFFF", Apply("1:ALL", 0));
  EXPECT_EQ("FFFFFFFF", Apply("0:ALL", -5));
  EXPECT_EQ("FFFFFFFF", Apply("T:ALL", 12, "00F0FFFF"));
  EXPECT_EQ("FAF7FFFF", Apply("T:ALL", 12, "0508FFFF"));
}

TEST(ListFormTest, ChangesOnlyTheListedPorts) {
  EXPECT_EQ("0C000000", Apply("1:3,4"));
  EXPECT_EQ("F1FFFFFF", Apply("1:1", 4, "F0FFFFFF"));
  EXPECT_EQ("01000000", Apply("0:3", 4, "05000000"));
  EXPECT_EQ("06000000", Apply("T:1,2", 4, "05000000"));
  EXPECT_EQ("05000000", Apply("T:1,1", 4, "05000000"));
  EXPECT_EQ("04000000", Apply("1:03"));
  EXPECT_EQ("04000000", Apply("1:0003"));
  EXPECT_EQ("00000000", Apply("0X3", 4, "04000000"));
  EXPECT_EQ("00000080", Apply("1:32", 32));
  EXPECT_EQ("0F000000", Apply("1:1,2,3,4,4,3,2,1"));
}

TEST(ListFormTest, PortsAbove32AreAcceptedButNeverSent) {
  EXPECT_EQ("A6010000", Apply("1:33", 40, "A6010000"));
  EXPECT_EQ("A6010000", Apply("0:40,33", 40, "A6010000"));
  EXPECT_EQ("Invalid Number!", Apply("1:41", 40));
  // Far beyond the word: no bit, no shift past 64.
  EXPECT_EQ("A6010000", Apply("T:99,65,64", 99, "A6010000"));
}

TEST(ListFormTest, InvalidNumbers) {
  for (const char* bad :
       {"0:5", "0:0", "0:00", "0:", "0:3,", "0:,3", "0:3,,4", "0:3 4",
        "0:+3", "0:-3", "0:ALL,", "0:ALLX", "0:all", "1:A", "T:3;4",
        "1:99999999999", "1:2147483648", "1:4294967297"}) {
    EXPECT_EQ("Invalid Number!", Apply(bad)) << bad;
  }
  EXPECT_EQ("Invalid Number!", Apply("1:1", 0));
  EXPECT_EQ("Invalid Number!", Apply("1:1", -1));
  // A failing later item leaves nothing changed.
  EXPECT_EQ("Invalid Number!", Apply("1:1,2,9", 4, "00000000"));
}

TEST(ParseIntegerTest, ItemsAndTheirEnds) {
  int32_t next = -1;
  int32_t n = -1;
  EXPECT_EQ("more", ParseInteger("1:12,3", 2, &next, &n));
  EXPECT_EQ(12, n);
  EXPECT_EQ(5, next);
  EXPECT_EQ("end of string", ParseInteger("1:12,3", 5, &next, &n));
  EXPECT_EQ(3, n);
  EXPECT_EQ(7, next);
  EXPECT_EQ("end of string", ParseInteger("1:", 2, &next, &n));
  EXPECT_EQ(0, n);
  EXPECT_EQ("more", ParseInteger("1:,", 2, &next, &n));
  EXPECT_EQ(0, n);
  EXPECT_EQ("end of string", ParseInteger("1:99999999999999999999", 2, &next, &n));
  EXPECT_EQ(2147483647, n);
  next = n = -7;
  EXPECT_EQ("Invalid Number!", ParseInteger("1:1x", 2, &next, &n));
  EXPECT_EQ(-7, n);
  EXPECT_EQ(-7, next);
}

TEST(BinaryFormTest, LastDigitIsPortOne) {
  EXPECT_EQ("F5FFFFFF", Apply("B:0101"));
  EXPECT_EQ("F5FFFFFF", Apply("B:0101", 7));
  EXPECT_EQ("F0FFFFFF", Apply("B:0000"));
  EXPECT_EQ("FFFFFFFF", Apply("B:"));
  EXPECT_EQ("FDFFFFFF", Apply("B:2101", 3));
  EXPECT_EQ("Invalid Number!", Apply("B:012"));
  EXPECT_EQ("Invalid Number!", Apply("B:01 1"));
  EXPECT_EQ("FEFFFFFF", Apply("B:0", 4, "00000000"));
  EXPECT_EQ("00000000", Apply("B:" + std::string(32, '0'), 32));
  EXPECT_EQ("00000000", Apply("B:" + std::string(40, '0'), 40));
  EXPECT_EQ("Invalid Number!", Apply("B:X" + std::string(39, '0'), 40));
  EXPECT_EQ("00000000", Apply("B:X" + std::string(39, '0'), 39));
  EXPECT_EQ("00000000", Apply("B:" + std::string(99, '0'), 99));
}

TEST(HexFormTest, PaddedWithFAndAbsentPortsOn) {
  EXPECT_EQ("A601FFFF", Apply("H:A601", 16));
  EXPECT_EQ("A6FDFFFF", Apply("H:A601", 10));
  EXPECT_EQ("FFFFFFFF", Apply("H:"));
  EXPECT_EQ("0FFFFFFF", Apply("H:0", 8));
  EXPECT_EQ("F0FFFFFF", Apply("H:00000000"));
  EXPECT_EQ("12345678", Apply("H:12345678", 32));
  EXPECT_EQ("Invalid Number!", Apply("H:000000000", 32));
  EXPECT_EQ("Invalid Number!", Apply("H:0G"));
  EXPECT_EQ("Invalid Number!", Apply("H:a601"));  // arrives upper-cased
}
