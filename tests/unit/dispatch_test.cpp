#include "dispatch.h"

#include <gtest/gtest.h>

TEST(CaseTest, ChangesAsciiLettersOnly) {
  EXPECT_EQ('A', to_upper('a'));
  EXPECT_EQ('Z', to_upper('z'));
  EXPECT_EQ('@', to_upper('@'));
  EXPECT_EQ('{', to_upper('{'));
  EXPECT_EQ('a', to_lower('A'));
  EXPECT_EQ('[', to_lower('['));
  for (int byte = 128; byte < 256; ++byte) {
    char ch = static_cast<char>(byte);
    EXPECT_EQ(ch, to_upper(ch));
    EXPECT_EQ(ch, to_lower(ch));
  }
  EXPECT_EQ("/S:TTYUSB0 T:ALL \xe9", toUpper("/s:ttyusb0 t:all \xe9"));
}

TEST(HubPortNameTest, TakesThePortPartFromTheFourthCharacter) {
  EXPECT_EQ("/dev/ttyUSB0", HubPortName("/Q:TTYUSB0"));
  EXPECT_EQ("/dev/ttyUSB0", HubPortName("/QXTTYUSB0"));
  EXPECT_EQ("/dev/ttyUSB255", HubPortName("/G:TTYUSB255"));
  EXPECT_EQ("/dev/ttyACM0", HubPortName("/Q:TTYACM0"));
}

TEST(HubPortNameTest, NineCharactersOrFewerHaveNoPortPart) {
  EXPECT_EQ("/dev/", HubPortName("/Q:TTYUSB"));
  EXPECT_EQ("/dev/", HubPortName("/Q"));
  EXPECT_EQ("/dev/", HubPortName("/"));
}

TEST(HubPortNameTest, PortPartComesOutUpperCasedButForTty) {
  // The command word arrives upper-cased; a raw one is upper-cased too.
  EXPECT_EQ("/dev/ttyUSB3X", HubPortName("/q:ttyusb3x"));
}

TEST(IsHubPortTest, ComparesTheFirstElevenCharactersExactly) {
  EXPECT_TRUE(IsHubPort("/dev/ttyUSB0"));
  EXPECT_TRUE(IsHubPort("/dev/ttyUSB"));
  EXPECT_FALSE(IsHubPort("/dev/"));
  EXPECT_FALSE(IsHubPort("/dev/ttyusb0"));
  EXPECT_FALSE(IsHubPort("/dev/ttyACM0"));
  EXPECT_EQ("ttyUSB3", HubName("/dev/ttyUSB3"));
}
