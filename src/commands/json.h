// The -J forms: one compact JSON document per run.
//
//   {"name":"ttyUSB0","device":"/dev/ttyUSB0","ports":4,"firmware":"1.3",
//    "states":"05000000","on":[1,3],"off":[2,4],"links":[...]}
//
// /G leaves out "firmware"; a scan is {"hubs":[...]} in index order. Every
// string is escaped so that the document is valid JSON whatever bytes a
// hub sends: '"' and '\' with a backslash, every byte below 0x20, 0x7F and
// every byte from 0x80 up as \u00XX.
#pragma once

#include <string>
#include <vector>

#include "link/hubquery.h"

std::string JsonString(const std::string& bytes);

// One hub's object ("ttyUSB0", "/dev/ttyUSB0", ...); without firmware
// when with_firmware is false; its links are its stable names in
// stable_name_dirs.
std::string HubJson(const std::string& name, const std::string& device,
                    const HubReport& report, bool with_firmware,
                    const std::vector<std::string>& stable_name_dirs);

std::string ScanJson(const std::vector<std::string>& hub_objects);
