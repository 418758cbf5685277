#include "commands/cycle.h"

#include <climits>

#include "commands/lockedhub.h"
#include "commands/setstate.h"
#include "link/signals.h"
#include "portstate/stateargs.h"

const char kPortsLeftOff[] = "Ports Left Off!";

namespace {

constexpr char kSecondsMark = '@';
constexpr size_t kMostDecimals = 3;

bool ParseSeconds(const std::string& text, int64_t* ms) {
  const size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string decimals =
      point == std::string::npos ? "" : text.substr(point + 1);
  if (whole.empty() || whole.size() > 3 || decimals.size() > kMostDecimals ||
      (point != std::string::npos && decimals.empty()))
    return false;
  int64_t value = 0;
  for (char ch : whole + decimals + std::string(kMostDecimals - decimals.size(), '0')) {
    if (ch < '0' || ch > '9') return false;
    value = value * 10 + (ch - '0');
  }
  if (value > kLongestCycleOffMs) return false;
  *ms = value;
  return true;
}

}  // namespace

bool ParseCycleArgument(const std::string& argument, std::string* ports,
                        int64_t* off_ms) {
  const size_t mark = argument.find(kSecondsMark);
  std::string list = UpperCased(argument.substr(0, mark));
  int64_t ms = kDefaultCycleOffMs;
  if (mark != std::string::npos && !ParseSeconds(argument.substr(mark + 1), &ms))
    return false;
  std::vector<int64_t> unused;
  // Only ports the state word holds can be switched back on.
  if (list != kAllPorts && !ParsePortList(list, kHubWordPorts, &unused))
    return false;
  *ports = list;
  *off_ms = ms;
  return true;
}

Outcome PowerCycle(const Request& request) {
  HubLock lock;
  HubReport hub;
  Outcome queried = LockAndQueryHub(request.device, &lock, &hub);
  if (!queried.Succeeded()) return queried;
  PortStates cycled = AllPorts(hub.port_count);
  if (request.cycle_ports != kAllPorts) {
    std::vector<int64_t> ports;
    if (!ParsePortList(request.cycle_ports, hub.port_count, &ports))
      return Failure(kInvalidNumber);
    cycled = PortBits(ports);
  }

  // From the first set frame on, a deadly signal must not leave the ports
  // off: it is held, and acted on once they are back on.
  const PortUse use = CommandPortUse(&lock);
  DeadlySignalHold hold;
  const SetResult off = SendStates(request.device, use, false,
                                   request.password, hub.states & ~cycled);
  if (!off.frame_started) return off.outcome;
  if (off.outcome.Succeeded()) hold.Wait(request.cycle_off_ms * 1000);
  // Absent ports go as the hub reported them; the cycled ports go on.
  const SetResult on = SendStates(request.device, use, false, request.password,
                                  hub.states | cycled);
  // A hub that refused the first message never switched anything off.
  if (!on.outcome.Succeeded() && !off.refused) return Failure(kPortsLeftOff);
  return off.outcome;
}
