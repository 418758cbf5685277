// /Q: find hubs and report what they say.
//
//   tarvo /Q              scan /dev/ttyUSB0..255, one hub line each, then
//                         "<n> Managed USB Hub(s) Found."
//   tarvo /Q -F           the scan as one line: "0003ttyUSB0,3,12"
//   tarvo /Q:ttyUSBn      the hub line of one hub
//   tarvo /Q:ttyUSBn -F   its hub record: state hex, port count in hex,
//                         firmware version, CR LF
//   tarvo /Q -J, /Q:ttyUSBn -J   JSON (json.h)
//
// A scan that could not probe every device says "Scan Incomplete!" after
// the hub lines it has (alone, for -F and -J) and fails.
#pragma once

#include <string>

#include "linksettings.h"
#include "outcome.h"
#include "protocol/hubreport.h"
#include "request.h"

// "ttyUSB0, 4 ports, On=1,3, Off=2,4, FW=1.3"
std::string HubLine(const std::string& name, const HubReport& hub);

Outcome ScanForHubs(const Request& request, const LinkSettings& settings,
                    LineSink& out);
Outcome ShowOneHub(const Request& request, const LinkSettings& settings,
                   LineSink& out);
