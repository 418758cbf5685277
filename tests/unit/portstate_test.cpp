#include "portstate/portstate.h"

#include <gtest/gtest.h>

#include "portstate/stateargs.h"

// The word's bytes go out lowest first; lists and binary show ports up to
// the count (ports above 32 as the word's top bits), none for a negative
// count.
TEST(TextFormsTest, StateHexListsAndBinary) {
  const struct {
    PortStates states;
    int32_t ports;
    std::string hex, lists, binary;
  } cases[] = {
      {0x5, 4, "05000000", "1,3 2,4", "0101"},
      {0, 4, "00000000", "None 1,2,3,4", "0000"},
      {0xA00, 12, "000A0000", "10,12 1,2,3,4,5,6,7,8,9,11", "101000000000"},
      {0xFFFFFFF5u, 4, "F5FFFFFF", "1,3 2,4", "0101"},
      {0xFFFF, -1, "FFFF0000", "None None", ""},
      {0xABCDEF0012345678ull, 0, "78563412", "None None", ""},
      {~PortStates{0} >> 6 << 6, 70, "C0FFFFFF",
       "7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,"
       "27,28,29,30,31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,"
       "50,51,52,53,54,55,56,57,58,59,60,"
       "61,62,63,64 1,2,3,4,5,6,65,66,67,68,69,70",
       std::string(38, '0') + std::string(26, '1') + "000000"}};
  for (const auto& c : cases) {
    const PortLists l = ListPorts(c.states, c.ports);
    EXPECT_EQ(c.hex + " " + c.lists + " " + c.binary,
              FormatStateHex(c.states) + " " + FormatPortList(l.on) + " " +
                  FormatPortList(l.off) + " " +
                  FormatBinaryStates(c.states, c.ports));
    EXPECT_EQ(c.states & 0xFFFFFFFFu, ParseStateHex(c.hex + "\r\n"));
  }
}

TEST(StateArgumentTest, EveryFormAgainstPortCountAndCurrentStates) {
  const struct {
    std::string argument;
    int32_t ports;
    std::string current, sent;
  } cases[] = {
      // ALL switches absent ports on.
      {"0:ALL", 4, "00000000", "F0FFFFFF"},
      {"1:all", 4, "00000000", "FFFFFFFF"},
      {"T:ALL", 4, "05000000", "FAFFFFFF"},
      {"0:ALL", 40, "00000000", "00000000"},
      {"0:ALL", -5, "00000000", "FFFFFFFF"},
      // Lists change only what they name, item by item.
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
      {"B:", 4, "00000000", "FFFFFFFF"},
      {"B:2101", 3, "00000000", "FDFFFFFF"},
      {"B:0", 4, "00000000", "FEFFFFFF"},
      {"B:" + std::string(40, '0'), 40, "00000000", "00000000"},
      // H: padded with F, absent ports on.
      {"H:A601", 16, "00000000", "A601FFFF"},
      {"h:a601", 10, "00000000", "A6FDFFFF"},
      {"H:0", 8, "00000000", "0FFFFFFF"},
      {"H:12345678", 32, "00000000", "12345678"},
      // Refusals.
      {"", 4, "00000000", "bad function"},
      {"1", 4, "00000000", "bad function"},
      {"x:3", 4, "00000000", "bad function"},
      {"1:1", 0, "00000000", "bad number"},
      {"1:41", 40, "00000000", "bad number"},
      {"1:1,2,9", 4, "00000000", "bad number"},
      {"B:012", 4, "00000000", "bad number"},
      {"H:000000000", 32, "00000000", "bad number"},
      {"H:0G", 4, "00000000", "bad number"},
  };
  for (const auto& c : cases) {
    const StateChange change =
        ApplyStateArgument(c.argument, c.ports, ParseStateHex(c.current));
    const std::string refusal = change.status == StateArgStatus::kBadFunction
                                    ? "bad function"
                                    : "bad number";
    EXPECT_EQ(c.sent, change.status == StateArgStatus::kApplied
                          ? FormatStateHex(change.states)
                          : refusal)
        << c.argument << " on " << c.ports << " ports from " << c.current;
  }
  for (const char* bad :
       {"0:5", "0:0", "0:", "0:3,", "0:,3", "0:3 4", "0:+3", "0:-3", "0:ALL,",
        "0:ALLX", "1:A", "1:99999999999", "1:4294967297"})
    EXPECT_EQ(StateArgStatus::kBadNumber, ApplyStateArgument(bad, 4, 0).status)
        << bad;
}
