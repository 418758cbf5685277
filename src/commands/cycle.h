// /C: power-cycle ports in one run.
//
//   tarvo /C:ttyUSBn [pass] PORTS[@SECONDS]    e.g. 3  1,4@0.5  ALL@10
//
// Under one hub lock: query the hub, switch the listed ports off with one
// set message, wait SECONDS (2 by default), switch the same ports back on
// with a second one; no other port changes. Once the first set frame has
// begun to go out the ports may be off, so the second message is always
// sent; if it fails the run says "Ports Left Off!", unless the hub had
// refused the first one (then nothing was off). A deadly signal that
// arrives from then on is held (signals/deadlysignals.h): the wait is cut
// short, the ports go back on, and the signal comes back with the outcome, so
// that the run's line is out before the signal ends it.
#pragma once

#include "linksettings.h"
#include "outcome.h"
#include "request.h"

RunEnd PowerCycle(const Request& request, const LinkSettings& settings,
                  LineSink& out);
