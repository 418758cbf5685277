// The -J forms: one compact JSON document per run.
//
//   {"name":"ttyUSB0","device":"/dev/ttyUSB0","ports":4,"firmware":"1.3",
//    "states":"05000000","on":[1,3],"off":[2,4],"links":[...]}
//
// /G leaves out "firmware"; a scan is {"hubs":[...]} in index order. Every
// string is escaped so that the document is valid JSON whatever bytes it
// holds: '"' and '\' with a backslash, every byte below 0x20 and 0x7F as
// \u00XX. Beyond that, two rules:
//   - firmware is bytes from a hub, one character a byte: 0x80 and up as
//     \u00XX too;
//   - a link is a name to open again: valid UTF-8 (RFC 3629) stays as its
//     own bytes, so that a JSON reader gives the name back; a link that is
//     not valid UTF-8 could not be given back, and is left out.
#pragma once

#include <string>
#include <vector>

#include "protocol/hubreport.h"

// A string of bytes, one character each.
std::string JsonString(const std::string& bytes);

// /Q and /Q: give the firmware; /G leaves it out.
enum class FirmwareField { kIncluded, kLeftOut };

// One hub's object ("ttyUSB0", "/dev/ttyUSB0", ...); links are its stable
// names (names/stablenames.h).
std::string HubJson(const std::string& name, const std::string& device,
                    const HubReport& report, FirmwareField firmware,
                    const std::vector<std::string>& links);

std::string ScanJson(const std::vector<std::string>& hub_objects);
