#include "portstate/portstate.h"

#include <gtest/gtest.h>

#include "portstate/stateargs.h"

TEST(TextFormsTest, StateHexListsAndBinary) {
  EXPECT_EQ("A6010000", FormatStateHex(0x1A6));
  EXPECT_EQ("78563412", FormatStateHex(0xABCDEF0012345678ull));
  for (uint32_t b = 0; b < 256; ++b) {
    const PortStates states =
        (PortStates{b} << 24) | (PortStates{255 - b} << 8) | b;
    EXPECT_EQ(states, ParseStateHex(FormatStateHex(states))) << b;
  }
  EXPECT_EQ(0x1A6u, ParseStateHex("a6010000\r\n"));
  EXPECT_EQ(0x1A6u, ParseStateHex("A601"));
  EXPECT_EQ(0u, ParseStateHex("ZZZZZZZZ"));
  EXPECT_FALSE(IsStateHex("A601000"));
  EXPECT_FALSE(
      IsStateHex(std::string("A601\0"
                             "000",
                             8)));
  EXPECT_TRUE(IsStateHex("a6010000\r\n"));
  const std::pair<PortStates, int32_t> lists[] = {
      {0x5, 4}, {0, 4}, {0xA00, 12}, {0xFFFF, -1}, {0xFFFFFFF5u, 4}};
  const char* expected[] = {"1,3 2,4", "None 1,2,3,4",
                            "10,12 1,2,3,4,5,6,7,8,9,11", "None None",
                            "1,3 2,4"};
  for (size_t i = 0; i < 5; ++i) {
    const PortLists l = ListPorts(lists[i].first, lists[i].second);
    EXPECT_EQ(expected[i], FormatPortList(l.on) + " " + FormatPortList(l.off));
  }
  EXPECT_EQ("65,66,67,68,69,70",
            FormatPortList(ListPorts(~PortStates{0}, 70).off));
  EXPECT_EQ("0101", FormatBinaryStates(0x5, 4));
  EXPECT_EQ("", FormatBinaryStates(0xF, -3));
  EXPECT_EQ(std::string(8, '0') + std::string(32, '1'),
            FormatBinaryStates(~PortStates{0}, 40));
}

TEST(StateArgumentTest, EveryFormAgainstPortCountAndCurrentStates) {
  struct Case {
    std::string argument;
    int32_t ports;
    std::string current, sent;
  };
  // clang-format off
  const Case cases[] = {
      // ALL switches absent ports on.
      {"0:ALL", 4, "00000000", "F0FFFFFF"}, {"1:all", 4, "00000000", "FFFFFFFF"},
      {"T:ALL", 4, "05000000", "FAFFFFFF"}, {"0:ALL", 40, "00000000", "00000000"},
      {"0:ALL", -5, "00000000", "FFFFFFFF"}, {"T:ALL", 12, "0508FFFF", "FAF7FFFF"},
      // Lists change only what they name, item by item.
      {"1:3,4", 4, "00000000", "0C000000"}, {"1:1", 4, "F0FFFFFF", "F1FFFFFF"},
      {"0:3", 4, "05000000", "01000000"}, {"t:1,2", 4, "05000000", "06000000"},
      {"T:1,1", 4, "05000000", "05000000"}, {"1:0003", 4, "00000000", "04000000"},
      {"0X3", 4, "04000000", "00000000"}, {"1:32", 32, "00000000", "00000080"},
      {"1:33", 40, "A6010000", "A6010000"}, {"T:99,65,64", 99, "A6010000", "A6010000"},
      // B: the last digit is port 1; digits beyond the count are not read.
      {"B:0101", 4, "00000000", "F5FFFFFF"}, {"B:", 4, "00000000", "FFFFFFFF"},
      {"B:2101", 3, "00000000", "FDFFFFFF"}, {"B:0", 4, "00000000", "FEFFFFFF"},
      {"B:" + std::string(40, '0'), 40, "00000000", "00000000"},
      // H: padded with F, absent ports on.
      {"H:A601", 16, "00000000", "A601FFFF"}, {"h:a601", 10, "00000000", "A6FDFFFF"},
      {"H:0", 8, "00000000", "0FFFFFFF"}, {"H:12345678", 32, "00000000", "12345678"},
      // Refusals.
      {"", 4, "00000000", "bad function"}, {"1", 4, "00000000", "bad function"},
      {"x:3", 4, "00000000", "bad function"}, {"1:1", 0, "00000000", "bad number"},
      {"1:41", 40, "00000000", "bad number"}, {"1:1,2,9", 4, "00000000", "bad number"},
      {"B:012", 4, "00000000", "bad number"}, {"H:000000000", 32, "00000000", "bad number"},
      {"H:0G", 4, "00000000", "bad number"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const StateChange change =
        ApplyStateArgument(c.argument, c.ports, ParseStateHex(c.current));
    const char* refused = change.status == StateArgStatus::kBadFunction
                              ? "bad function"
                              : "bad number";
    EXPECT_EQ(c.sent, change.status == StateArgStatus::kApplied
                          ? FormatStateHex(change.states)
                          : refused)
        << c.argument << " on " << c.ports << " ports from " << c.current;
  }
  for (const char* bad :
       {"0:5", "0:0", "0:", "0:3,", "0:,3", "0:3 4", "0:+3", "0:-3", "0:ALL,",
        "0:ALLX", "1:A", "1:99999999999", "1:4294967297"})
    EXPECT_EQ(StateArgStatus::kBadNumber, ApplyStateArgument(bad, 4, 0).status)
        << bad;
  std::vector<int64_t> ports;
  EXPECT_TRUE(ParsePortList("1,4,4", 4, &ports));
  EXPECT_EQ(0x9u, PortBits(ports));
  EXPECT_TRUE(ParsePortList("70,64", 99, &ports));
  EXPECT_EQ(PortStates{1} << 63, PortBits(ports));
  EXPECT_EQ(~PortStates{0}, AllPorts(99));
  EXPECT_EQ(0u, AllPorts(-3));
}
