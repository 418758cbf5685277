// Probing every hub port name at once.
//
// A scan asks /dev/ttyUSB0 to /dev/ttyUSB255 whether a hub answers. A name
// with no device behind it fails at once; a device that exists but stays
// silent (a modem, a GPS receiver) costs a whole byte wait. So every name
// that exists is probed at the same time, each probe a complete hub query
// under its own hub lock, all of them driven by this one thread through
// poll(): a scan costs about one byte wait however many devices are
// silent, and no thread or stack is needed per device.
//
// A device that another run or program keeps locked is waited for until
// one byte wait after the scan began, then passed over; one that was
// freed in time is probed only until 1.2 byte waits after the scan began
// (a hub answers in milliseconds), so that a scan ends within 1.2 byte
// waits whatever the locks. Each device is probed once: a ttyUSBn that
// leads to another ttyUSBm is probed as ttyUSBm, and names that reach
// one device node some other way are merged under the lowest of them,
// the lock files of every name held. A scan leaves
// devices exactly as found: it does not ask for low latency. A probe needs two
// descriptors (lock and port), so as many run at once as the descriptor
// limit allows; one that finds the run out of descriptors is tried again
// when another probe ends, and when none is running the scan is
// incomplete. The results are still handed on strictly in index order,
// each as soon as it and every lower index are known, so the output reads
// exactly as if the names had been probed one after another.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "linksettings.h"
#include "protocol/hubreport.h"
#include "reason.h"

struct FoundHub {
  int32_t index = 0;
  std::string name;    // "ttyUSB3"
  std::string device;  // "/dev/ttyUSB3"
  HubReport report;
};

// Calls on_hub for each hub, and passed_over with the reason for each
// device that is there but was passed over, in increasing index order.
// Returns false when some device could not be probed for lack of
// descriptors.
bool ScanHubs(const LinkSettings& settings,
              const std::function<void(const FoundHub&)>& on_hub,
              const std::function<void(const Reason&)>& passed_over);
