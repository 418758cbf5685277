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
// arrives from then on is held: the wait is cut short, the ports go back
// on, and only then does the signal end the run.
#pragma once

#include <cstdint>
#include <string>

#include "commands/outcome.h"
#include "commands/request.h"

extern const char kPortsLeftOff[];

constexpr int64_t kDefaultCycleOffMs = 2000;
constexpr int64_t kLongestCycleOffMs = 600000;

// Parses "PORTS[@SECONDS]" (SECONDS: decimal, up to 3 decimals, 0 to 600)
// into the upper-cased ports part and the off time; false when SECONDS is
// malformed or the ports part is neither ALL nor a list of ports 1 to 32
// (the ports a set message can switch back on).
bool ParseCycleArgument(const std::string& argument, std::string* ports,
                        int64_t* off_ms);

Outcome PowerCycle(const Request& request);
