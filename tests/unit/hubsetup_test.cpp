#include "hubsetup.h"

#include <gtest/gtest.h>

TEST(HubSetupTest, PortsStatesAndSettings) {
  const std::pair<std::string, std::string> cases[] = {
      {"ttyUSB0", "ttyUSB0 04 FFFFFFFF mira     2.1"},
      {"ttyUSB3:12:000a0000", "ttyUSB3 12 000A0000 mira     2.1"},
      {"ttyUSB1:99:05000000,password=pw,firmware=1.3,silent,delay-ms=250,by-id="
       "usb-A,by-path=pci-0:1",
       "ttyUSB1 99 05000000 pw       1.3 silent 250 usb-A pci-0:1"},
      {"ttyUSB0,link=/dev/hubs/rack3,link=/dev/x",
       "ttyUSB0 04 FFFFFFFF mira     2.1 /dev/hubs/rack3 /dev/x"},
      {"ttyUSB0:100", "bad value for ports: '100'"},
      {"ttyUSB0:4:0500000G", "bad value for states: '0500000G'"},
      {"ttyUSB0,password=123456789", "bad value for password: '123456789'"},
      {"ttyUSB0,firmware=1.33", "bad value for firmware: '1.33'"},
      {"ttyUSB0,by-id=../x", "bad value for by-id: '../x'"},
      {"ttyUSB0,silent=1", "'silent' takes no value"},
      {"ttyUSB0,delay-ms", "'delay-ms' needs a value"},
      {"ttyUSB0,link=/dev/ttyUSB5",
       "link=/dev/ttyUSB5 is refused: /dev/ttyUSB names are the hubs' own"},
      {"ttyUSB0,link=/etc/x", "bad value for link: '/etc/x'"},
      {"ttyUSB0,link=/dev/a/../b", "bad value for link: '/dev/a/../b'"},
      {"ttyUSB256",
       "a hub's name is ttyUSB and a number from 0 to 255: 'ttyUSB256'"},
      {"ttyUSB00",
       "a hub's name is ttyUSB and a number from 0 to 255: 'ttyUSB00'"},
  };
  hubsim::HubSetup setup;
  for (const auto& [text, expected] : cases) {
    std::string got = hubsim::ParseHubSetup(text, &setup);
    if (got.empty()) {
      got = setup.name + " " + setup.config.port_count + " " +
            hubsim::StateHex(setup.config.states) + " " +
            setup.config.password + " " + setup.config.firmware;
      if (setup.faults.silent)
        got += " silent " + std::to_string(setup.faults.reply_delay_ms);
      for (const std::string& link : setup.by_id) got += " " + link;
      for (const std::string& link : setup.by_path) got += " " + link;
      for (const std::string& link : setup.links) got += " " + link;
    }
    EXPECT_EQ(expected, got.substr(0, got.find(" ("))) << text;
  }
}
