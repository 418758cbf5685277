// /S and /F: switch ports on, off or over.
//
//   tarvo /S:ttyUSBn [pass] states    e.g. 1:3,4  0:ALL  T:1  B:0101  H:A601
//   tarvo /F:ttyUSBn [pass] states    the same, also kept as power-on states
//
// The hub is queried first (port count and current states), the new
// states are computed from the state argument (stateargs.h) and sent in
// one set message; the hub must echo them back exactly. Prints nothing on
// success.
#pragma once

#include <string>

#include "commands/lockedhub.h"
#include "linksettings.h"
#include "outcome.h"
#include "portstate/portstate.h"
#include "request.h"

Outcome SetStates(const Request& request, const LinkSettings& settings,
                  LineSink& out);

struct SetResult {
  Outcome outcome = Outcome::kSuccess;
  bool frame_started = false;  // the hub may have acted on it
  bool refused = false;        // the hub said it did not act on it
  Reason reason;               // why, when it failed
};

// Sends one set message ("SP", or "FP" for kCurrentAndPowerOnStates) with the
// password field and states, and checks the hub's echo.
SetResult SendStates(LockedHub* hub, SetTarget target,
                     const std::string& password, PortStates states);
