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

// /Q: and /G with -J: the keys in their order, and the hub's firmware
// bytes, whatever they are, as python3 reads them back.
TEST(JsonTest, KeysInOrderEveryFirmwareByteComesBackAsSent) {
  const std::string firmwares[] = {
      "\x01\x7f\"",   std::string("\0\0\0", 3), "\"\\/",
      "\x1f\x80\xff", std::string("a\0\"", 3),  "\t\r\x1b",
      "\xe2\x82\xac"};
  for (const std::string& firmware : firmwares) {
    auto hub = StartHub(HubWith("04", 0x5, firmware));
    TestRig rig;
    rig.Link("ttyUSB0", hub->TerminalPath());
    LineCollector out;
    RunCommand(rig, {"/Q:ttyUSB0", "-j"}, &out);
    RunCommand(rig, {"/G:ttyUSB0", "-J"}, &out);
    ASSERT_EQ(2u, out.lines.size());
    EXPECT_EQ(Hex(firmware), ParsedByPython(out.lines[0], "[\"firmware\"]"));
    EXPECT_EQ("[1, 3]", ParsedByPython(out.lines[1], "[\"on\"]"));
    if (firmware != firmwares[0]) continue;
    const std::string hub_keys = "{\"name\":\"ttyUSB0\",\"device\":\"" +
                                 rig.Device("ttyUSB0") + "\",\"ports\":4,";
    const std::string state_keys =
        "\"states\":\"05000000\",\"on\":[1,3],\"off\":[2,4],\"links\":[]}";
    EXPECT_EQ(hub_keys + "\"firmware\":\"\\u0001\\u007F\\\"\"," + state_keys,
              out.lines[0]);
    EXPECT_EQ(hub_keys + state_keys, out.lines[1]);
  }
}
