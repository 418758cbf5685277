#include "commands/json.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "simhubs.h"

// /Q: with -J (/G's keys: hubnames_test.cpp): the keys in their order, and the
// hub's firmware bytes, whatever they are, as python3 reads them back.
TEST(JsonTest, KeysInOrderEveryFirmwareByteComesBackAsSent) {
  const std::string firmwares[] = {"\x01\x7f\"", std::string("\0\0\0", 3),
                                   "\"\\/", "\x1f\x80\xff"};
  for (const std::string& firmware : firmwares) {
    TestRig rig;
    rig.AddHub("ttyUSB0", HubWith("04", 0x5, firmware));
    std::string query = rig.Run({"/Q:ttyUSB0", "-j"});
    ASSERT_EQ("\n(0)", query.substr(query.size() - 4));
    query.resize(query.size() - 4);
    EXPECT_EQ(firmware, ParsedByPython(query, "[\"firmware\"]"));
    if (firmware != firmwares[0]) continue;
    EXPECT_EQ("{\"name\":\"ttyUSB0\",\"device\":\"" + rig.Device("ttyUSB0") +
                  "\",\"ports\":4,\"firmware\":\"\\u0001\\u007F\\\"\","
                  "\"states\":\"05000000\",\"on\":[1,3],\"off\":[2,4],"
                  "\"links\":[]}",
              query);
  }
}

// A link is a name to open again: UTF-8 comes back as its own bytes and
// opens; a name that is not UTF-8 could not come back, and is left out.
// The hub's name and device follow the same rule, and are never left out.
TEST(JsonTest, LinkNamesComeBackAsTheyAreAndOpen) {
  auto hub = StartHub();
  TempDir by_id;
  const std::string good = by_id / "usb-M\xc3\xbcller_Hub-if00-port0";
  ASSERT_EQ(0, symlink(hub->TerminalPath().c_str(), good.c_str()));
  const std::string json =
      HubJson("ttyUSB\xc3\xa9", "/dev/ttyUSB\xff", {}, FirmwareField::kLeftOut,
              {good, by_id / "usb-\xc3\x28", by_id / "usb-\xed\xa0\x80"});
  EXPECT_EQ("ttyUSB\xc3\xa9",
            ParsedByPython(json, "[\"name\"].encode().decode('latin-1')"));
  EXPECT_NE(std::string::npos, json.find("\"/dev/ttyUSB\\u00FF\""));
  EXPECT_EQ("1", ParsedByPython(json, "[\"links\"].__len__()"));
  const std::string read_back =
      ParsedByPython(json, "[\"links\"][0].encode().decode('latin-1')");
  EXPECT_EQ(good, read_back);
  EXPECT_EQ(0, access(read_back.c_str(), F_OK));
}
