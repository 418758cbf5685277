// One simulated hub as a user describes it, on hubsim's command line or
// in tarvo-sandbox's --hub.
//
//   ttyUSB0[:PORTS[:STATEHEX]][,SETTING]...
//
// PORTS is the decimal port count (1 to 99, default 4); STATEHEX the
// state hex string as `tarvo /G -H` prints it (port 1 in the first byte,
// default FFFFFFFF). A SETTING is one of the keys below, KEY=VALUE or a
// bare flag; hubsim takes the same keys as --KEY VALUE and --FLAG.
//
//   password=P     the hub's password, up to 8 bytes (default mira)
//   firmware=XYZ   the firmware version, 3 characters (default 2.1)
//   id=TEXT        the identification (default KORVEN)
//   flash=STATEHEX the power-on states (default 00000000)
//   by-id=NAME     a link /dev/serial/by-id/NAME to the hub (sandbox)
//   by-path=NAME   a link /dev/serial/by-path/NAME to the hub (sandbox)
//   link=/dev/PATH a link of a udev rule's making to the hub, with a
//                  relative target, folders made as needed (sandbox)
//   silent         never answers
//   delay-ms=N     waits N ms before every reply
//   byte-gap-ms=N  waits N ms between the bytes of a reply
//   cut-after=N    sends only the first N bytes of every reply
//   wire-time      keeps 9600-baud wire time, both ways
//   latency-trace=PATH  holds each reply as an FT232 would, its latency
//                  timer as QEMU's trace at PATH last shows it set
#pragma once

#include <string>
#include <vector>

#include "hubsim.h"

namespace hubsim {

struct HubSetup {
  std::string name;  // "ttyUSB0"
  HubConfig config;
  Faults faults;
  std::vector<std::string> by_id;
  std::vector<std::string> by_path;
  std::vector<std::string> links;  // "/dev/hubs/rack3"
};

// A hub with every default in place.
HubSetup DefaultHubSetup();

// "" on success, else what is wrong with text.
std::string ParseHubSetup(const std::string& text, HubSetup* setup);

// Applies one setting; has_value tells KEY=VALUE from a bare flag. "" on
// success, else what is wrong.
std::string ApplyHubSetting(const std::string& key, bool has_value,
                            const std::string& value, HubSetup* setup);

// True when key is a flag (takes no value).
bool IsHubFlag(const std::string& key);

// The settings, one line each with its meaning, for --help texts.
std::string HubSettingsHelp(const std::string& key_prefix,
                            const std::string& value_separator);

}  // namespace hubsim
