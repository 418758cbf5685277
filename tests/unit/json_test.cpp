#include "commands/json.h"

#include <gtest/gtest.h>

#include "simhubs.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes)
    hex.append({kDigits[byte >> 4], kDigits[byte & 15]});
  return hex;
}

}  // namespace

TEST(JsonTest, HubObjectsInTheirKeyOrder) {
  HubReport report;
  report.port_count = 4;
  report.firmware = "1.3";
  report.states = 0x5;
  EXPECT_EQ(
      "{\"name\":\"ttyUSB0\",\"device\":\"/dev/"
      "ttyUSB0\",\"ports\":4,\"firmware\":\"1.3\","
      "\"states\":\"05000000\",\"on\":[1,3],\"off\":[2,4],\"links\":[]}",
      HubJson("ttyUSB0", "/dev/ttyUSB0", report, true, {}));
  report.states = report.port_count = 0;
  EXPECT_EQ(
      "{\"name\":\"ttyUSB9\",\"device\":\"/dev/"
      "ttyUSB9\",\"ports\":0,\"states\":\"00000000\","
      "\"on\":[],\"off\":[],\"links\":[]}",
      HubJson("ttyUSB9", "/dev/ttyUSB9", report, false, {}));
  EXPECT_EQ("{\"hubs\":[{},{}]}", ScanJson({"{}", "{}"}));
  EXPECT_EQ("\"\\u0000\\\"\\\\\\u007F\\u0080\\u00FF\"",
            JsonString(std::string("\0\"\\\x7f\x80\xff", 6)));
}

// /Q: and /G with -J, as python3 reads them: the hub's firmware bytes,
// whatever they are, come back as sent.
TEST(JsonTest, EveryFirmwareByteComesBackAsSent) {
  const std::string firmwares[] = {std::string("\0\0\0", 3),
                                   "\"\\/",
                                   "\x01\x1f\x7f",
                                   "\x80\xff\xc3",
                                   "\t\r\x1b",
                                   std::string("a\0\"", 3),
                                   "\xe2\x82\xac"};
  for (const std::string& firmware : firmwares) {
    auto hub = StartHub(HubWith("04", 0x5, firmware));
    LineCollector out;
    RunCommandOn(hub->TerminalPath(), {"/Q:ttyUSB0", "-j"}, &out);
    RunCommandOn(hub->TerminalPath(), {"/G:ttyUSB0", "-J"}, &out);
    ASSERT_EQ(2u, out.lines.size());
    EXPECT_EQ(Hex(firmware), ParsedByPython(out.lines[0], "[\"firmware\"]"));
    EXPECT_EQ("[1, 3]", ParsedByPython(out.lines[1], "[\"on\"]"));
  }
}
