// /G: one hub's current port states.
//
//   tarvo /G:ttyUSBn      "On=1,3 Off=2,4"
//   tarvo /G:ttyUSBn -B   the binary state string, port 1 last: "0101"
//   tarvo /G:ttyUSBn -H   the state hex string: "05000000"
//   tarvo /G:ttyUSBn -J   the hub as JSON, without firmware (json.h)
#pragma once

#include "linksettings.h"
#include "outcome.h"
#include "request.h"

Outcome GetStates(const Request& request, const LinkSettings& settings,
                  LineSink& out);
