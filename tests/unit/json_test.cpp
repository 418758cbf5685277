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

TEST(JsonTest, EveryFirmwareByteComesBackAsSent) {
  const std::string firmwares[] = {std::string("\0\0\0", 3),
                                   "\"\\/",
                                   "\x01\x1f\x7f",
                                   "\x80\xff\xc3",
                                   "\t\r\x1b",
                                   std::string("a\0\"", 3),
                                   "\xe2\x82\xac"};
  for (const std::string& firmware : firmwares) {
    HubReport report;
    report.firmware = firmware;
    const std::string document =
        ScanJson({HubJson("ttyUSB1", "/dev/ttyUSB1", report, true, {})});
    EXPECT_EQ(Hex(firmware),
              ParsedByPython(document, "[\"hubs\"][0][\"firmware\"]"))
        << document;
  }
}

TEST(JsonTest, TheGetAndQueryFormsParse) {
  auto hub = StartHub(HubWith("04", 0x5, "1.3"));
  for (const char* word : {"/G:ttyUSB0", "/Q:ttyUSB0"}) {
    LineCollector out;
    EXPECT_EQ(Outcome::kSuccess,
              RunCommandOn(hub->TerminalPath(), {word, "-j"}, &out));
    ASSERT_EQ(1u, out.lines.size());
    EXPECT_EQ("[1, 3]", ParsedByPython(out.lines[0], "[\"on\"]")) << word;
    EXPECT_EQ(Hex("ttyUSB0"), ParsedByPython(out.lines[0], "[\"name\"]"));
  }
}
