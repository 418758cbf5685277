#include "commands/cycle.h"

#include <signal.h>

#include <cerrno>
#include <climits>

#include "commands/lockedhub.h"
#include "commands/setstate.h"
#include "link/clock.h"
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

// Waits off_ms, or until one of the held signals is pending; returns that
// signal (taken off the pending set), or 0.
int WaitUnlessSignalled(const sigset_t& held, int64_t off_ms) {
  const int64_t deadline = MonotonicMicros() + off_ms * 1000;
  for (;;) {
    const int64_t left_us = deadline - MonotonicMicros();
    struct timespec left = {0, 0};
    if (left_us > 0)
      left = {static_cast<time_t>(left_us / 1000000),
              static_cast<long>(left_us % 1000000) * 1000};
    const int signal = sigtimedwait(&held, nullptr, &left);
    if (signal > 0) return signal;
    if (errno == EAGAIN) return 0;  // the wait ran out
    // EINTR: a signal outside the held set, with a handler; wait on.
  }
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
  if (list != kAllPorts && !ParsePortList(list, INT32_MAX, &unused))
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
  const sigset_t held = HoldableDeadlySignals();
  sigset_t previous_mask;
  (void)sigprocmask(SIG_BLOCK, &held, &previous_mask);

  const SetResult off = SendStates(request.device, false, request.password,
                                   hub.states & ~cycled);
  Outcome outcome = off.outcome;
  int caught = 0;
  if (off.frame_started) {
    if (off.outcome.Succeeded())
      caught = WaitUnlessSignalled(held, request.cycle_off_ms);
    // Absent ports go as the hub reported them; the cycled ports go on.
    const SetResult on = SendStates(request.device, false, request.password,
                                    hub.states | cycled);
    // A hub that refused the first message never switched anything off.
    if (!on.outcome.Succeeded() && !off.refused)
      outcome = Failure(kPortsLeftOff);
  }
  // A signal taken from the pending set is sent again, to be acted on as
  // soon as the mask lets it through.
  if (caught > 0) (void)raise(caught);
  (void)sigprocmask(SIG_SETMASK, &previous_mask, nullptr);
  return outcome;
}
