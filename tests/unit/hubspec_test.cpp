#include "hubspec.h"

#include <gtest/gtest.h>

namespace {

// A spec as one line: name, port count text, states, and what differs
// from the defaults.
std::string Summary(const std::string& text) {
  hubsim::HubSpec spec;
  const std::string error = hubsim::ParseHubSpec(text, &spec);
  if (!error.empty()) return "error: " + error;
  std::string line = spec.name + " " + spec.config.portCount + " " +
                     hubsim::StateHex(spec.config.states);
  if (spec.config.password != hubsim::kDefaultPassword)
    line += " password[" + spec.config.password + "]";
  if (spec.config.firmware != "2.1") line += " fw " + spec.config.firmware;
  if (spec.faults.silent) line += " silent";
  if (spec.faults.replyDelayMs) line += " delay " + std::to_string(spec.faults.replyDelayMs);
  for (const std::string& id : spec.by_id) line += " by-id " + id;
  for (const std::string& path : spec.by_path) line += " by-path " + path;
  return line;
}

}  // namespace

TEST(HubSpecTest, PortsStatesAndSettings) {
  const std::pair<std::string, std::string> cases[] = {
      {"ttyUSB0", "ttyUSB0 04 FFFFFFFF"},
      {"ttyUSB7:8", "ttyUSB7 08 FFFFFFFF"},
      {"ttyUSB0:4:05000000", "ttyUSB0 04 05000000"},
      {"ttyUSB3:12:000a0000", "ttyUSB3 12 000A0000"},
      {"ttyUSB0:99", "ttyUSB0 99 FFFFFFFF"},
      {"ttyUSB1,password=pw,firmware=1.3,silent,delay-ms=250",
       "ttyUSB1 04 FFFFFFFF password[pw      ] fw 1.3 silent delay 250"},
      {"ttyUSB2:2,by-id=usb-FTDI_A-if00,by-path=pci-0:1.0-port0",
       "ttyUSB2 02 FFFFFFFF by-id usb-FTDI_A-if00 by-path pci-0:1.0-port0"},
      {"ttyUSB0:0", "error: bad value for ports: '0'"},
      {"ttyUSB0:100", "error: bad value for ports: '100'"},
      {"ttyUSB0:4:0500", "error: bad value for states: '0500'"},
      {"ttyUSB0:4:0500000G", "error: bad value for states: '0500000G'"},
      {"ttyUSB0,password=123456789", "error: bad value for password: '123456789'"},
      {"ttyUSB0,firmware=1.33", "error: bad value for firmware: '1.33'"},
      {"ttyUSB0,by-id=../x", "error: bad value for by-id: '../x'"},
      {"ttyUSB0,silent=1", "error: 'silent' takes no value"},
      {"ttyUSB0,delay-ms", "error: 'delay-ms' needs a value (N)"},
      {"ttyUSB0,colour=red", "error: unknown setting 'colour'"},
      {"ttyACM0", "error: a hub's name is ttyUSB and a number: 'ttyACM0'"},
      {"ttyUSB0/x", "error: a hub's name is ttyUSB and a number: 'ttyUSB0/x'"},
      {"ttyUSBx", "error: a hub's name is ttyUSB and a number: 'ttyUSBx'"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, Summary(c.first)) << c.first;
}
