#include "portstate/portstate.h"

#include <gtest/gtest.h>

#include "portstate/stateargs.h"

namespace {

std::string Lists(PortStates states, int32_t port_count) {
  const PortLists lists = ListPorts(states, port_count);
  return "On=" + FormatPortList(lists.on) + " Off=" + FormatPortList(lists.off);
}

// The state hex string a set command would send, or its error text.
std::string Apply(const std::string& argument, int32_t port_count = 4,
                  const std::string& current = "00000000") {
  const StateChange change =
      ApplyStateArgument(argument, port_count, ParseStateHex(current));
  return change.error.empty() ? FormatStateHex(change.states) : change.error;
}

}  // namespace

TEST(StateHexTest, LowFourBytesLeastSignificantFirst) {
  EXPECT_EQ("A6010000", FormatStateHex(0x1A6));
  EXPECT_EQ("00000080", FormatStateHex(0x80000000u));
  EXPECT_EQ("00000000", FormatStateHex(0xFFFFFFFF00000000ull));
  EXPECT_EQ("78563412", FormatStateHex(0xABCDEF0012345678ull));
  for (uint32_t b = 0; b < 256; ++b) {
    const PortStates states = (PortStates{b} << 24) | (PortStates{255 - b} << 8) | b;
    EXPECT_EQ(states, ParseStateHex(FormatStateHex(states))) << b;
  }
}

TEST(StateHexTest, ParsesEitherCaseFirstEightCharactersOnly) {
  EXPECT_EQ(0x1A6u, ParseStateHex("a6010000"));
  EXPECT_EQ(0x1A6u, ParseStateHex("A6010000\r\n"));
  EXPECT_EQ(0x1A6u, ParseStateHex("A601"));
  EXPECT_EQ(0u, ParseStateHex("ZZZZZZZZ"));
  EXPECT_FALSE(IsStateHex("A601000"));
  EXPECT_FALSE(IsStateHex("A6010G00"));
  EXPECT_FALSE(IsStateHex(std::string("A601\0" "000", 8)));
  EXPECT_TRUE(IsStateHex("a6010000\r\n"));
}

TEST(TextFormsTest, ListsAndBinaryStrings) {
  EXPECT_EQ("On=1,3 Off=2,4", Lists(0x5, 4));
  EXPECT_EQ("On=None Off=1,2,3,4", Lists(0, 4));
  EXPECT_EQ("On=10,12 Off=1,2,3,4,5,6,7,8,9,11", Lists(0xA00, 12));
  EXPECT_EQ("On=None Off=None", Lists(0xFFFF, -1));
  EXPECT_EQ("On=1,3 Off=2,4", Lists(0xFFFFFFF5u, 4));
  EXPECT_EQ("65,66,67,68,69,70", FormatPortList(ListPorts(~PortStates{0}, 70).off));
  EXPECT_EQ("0101", FormatBinaryStates(0x5, 4));
  EXPECT_EQ("", FormatBinaryStates(0xF, -3));
  EXPECT_EQ("1" + std::string(31, '0'), FormatBinaryStates(0x80000000u, 32));
  EXPECT_EQ(std::string(8, '0') + std::string(32, '1'),
            FormatBinaryStates(~PortStates{0}, 40));
}

TEST(StateArgumentTest, EveryFormAgainstPortCountAndCurrentStates) {
  struct Case {
    std::string argument;
    int32_t ports;
    std::string current;
    std::string sent;
  };
  const Case cases[] = {
      // ALL switches absent ports on.
      {"0:ALL", 4, "00000000", "F0FFFFFF"},
      {"1:all", 4, "00000000", "FFFFFFFF"},
      {"T:ALL", 4, "05000000", "FAFFFFFF"},
      {"0:ALL", 7, "00000000", "80FFFFFF"},
      {"0:ALL", 40, "00000000", "00000000"},
      {"0:ALL", 0, "00000000", "FFFFFFFF"},
      {"0:ALL", -5, "00000000", "FFFFFFFF"},
      {"T:ALL", 12, "0508FFFF", "FAF7FFFF"},
      // Lists change only what they name, absent ports as they were.
      {"1:3,4", 4, "00000000", "0C000000"},
      {"1:1", 4, "F0FFFFFF", "F1FFFFFF"},
      {"0:3", 4, "05000000", "01000000"},
      {"t:1,2", 4, "05000000", "06000000"},
      {"T:1,1", 4, "05000000", "05000000"},
      {"1:0003", 4, "00000000", "04000000"},
      {"0X3", 4, "04000000", "00000000"},
      {"1:32", 32, "00000000", "00000080"},
      {"1:33", 40, "A6010000", "A6010000"},
      {"T:99,65,64", 99, "A6010000", "A6010000"},
      // B: the last digit is port 1; digits beyond the count are not read.
      {"B:0101", 4, "00000000", "F5FFFFFF"},
      {"b:0000", 4, "00000000", "F0FFFFFF"},
      {"B:", 4, "00000000", "FFFFFFFF"},
      {"B:2101", 3, "00000000", "FDFFFFFF"},
      {"B:0", 4, "00000000", "FEFFFFFF"},
      {"B:" + std::string(40, '0'), 40, "00000000", "00000000"},
      {"B:X" + std::string(39, '0'), 39, "00000000", "00000000"},
      // H: padded with F, absent ports on.
      {"H:A601", 16, "00000000", "A601FFFF"},
      {"h:a601", 10, "00000000", "A6FDFFFF"},
      {"H:0", 8, "00000000", "0FFFFFFF"},
      {"H:", 4, "00000000", "FFFFFFFF"},
      {"H:12345678", 32, "00000000", "12345678"},
      // Refusals.
      {"", 4, "00000000", "State Format Error!"},
      {"1", 4, "00000000", "State Format Error!"},
      {"x:3", 4, "00000000", "State Format Error!"},
      {"secret", 4, "00000000", "State Format Error!"},
      {"1:1", 0, "00000000", "Invalid Number!"},
      {"1:1", -1, "00000000", "Invalid Number!"},
      {"1:41", 40, "00000000", "Invalid Number!"},
      {"1:1,2,9", 4, "00000000", "Invalid Number!"},
      {"B:012", 4, "00000000", "Invalid Number!"},
      {"B:X" + std::string(39, '0'), 40, "00000000", "Invalid Number!"},
      {"H:000000000", 32, "00000000", "Invalid Number!"},
      {"H:0G", 4, "00000000", "Invalid Number!"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.sent, Apply(c.argument, c.ports, c.current))
        << c.argument << " on " << c.ports << " ports from " << c.current;
  for (const char* bad :
       {"0:5", "0:0", "0:00", "0:", "0:3,", "0:,3", "0:3,,4", "0:3 4", "0:+3",
        "0:-3", "0:ALL,", "0:ALLX", "1:A", "T:3;4", "1:99999999999",
        "1:2147483648", "1:4294967297"})
    EXPECT_EQ("Invalid Number!", Apply(bad)) << bad;
}

TEST(StateArgumentTest, PortListsAndAllPorts) {
  std::vector<int64_t> ports;
  EXPECT_TRUE(ParsePortList("1,4,4", 4, &ports));
  EXPECT_EQ((std::vector<int64_t>{1, 4, 4}), ports);
  EXPECT_EQ(0x9u, PortBits(ports));
  EXPECT_TRUE(ParsePortList("70,64", 99, &ports));
  EXPECT_EQ(PortStates{1} << 63, PortBits(ports));
  EXPECT_FALSE(ParsePortList("5", 4, &ports));
  EXPECT_EQ((std::vector<int64_t>{70, 64}), ports);
  EXPECT_EQ(0xFu, AllPorts(4));
  EXPECT_EQ(0u, AllPorts(-3));
  EXPECT_EQ(~PortStates{0}, AllPorts(99));
}
