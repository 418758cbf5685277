#include "commands/cycle.h"

#include "commands/lockedhub.h"
#include "commands/setstate.h"
#include "portstate/stateargs.h"
#include "signals/deadlysignals.h"

namespace {

// The two set messages, under the hold.
Outcome OffWaitOn(LockedHub* hub, const Request& request,
                  const HubReport& report, PortStates cycled,
                  DeadlySignalHold* hold, LineSink& out) {
  const SetResult off = SendStates(hub, SetTarget::kCurrentStates,
                                   request.password, report.states & ~cycled);
  if (!off.frame_started) {
    out.Explain(off.reason);
    return off.outcome;
  }
  if (off.outcome == Outcome::kSuccess) hold->Wait(request.cycle_off_ms * 1000);
  // Absent ports go as the hub reported them; the cycled ports go on.
  const SetResult on = SendStates(hub, SetTarget::kCurrentStates,
                                  request.password, report.states | cycled);
  // A hub that refused the first message never switched anything off.
  if (on.outcome != Outcome::kSuccess && !off.refused) {
    Reason reason = on.reason;
    reason.left_off = FormatPortList(ListPorts(cycled, report.port_count).on);
    out.Explain(reason);
    return Outcome::kPortsLeftOff;
  }
  if (off.outcome != Outcome::kSuccess) out.Explain(off.reason);
  return off.outcome;
}

}  // namespace

RunEnd PowerCycle(const Request& request, const LinkSettings& settings,
                  LineSink& out) {
  std::optional<LockedHub> hub;
  HubReport report;
  const Outcome queried =
      LockedHub::LockAndReadReport(request, settings, out, &hub, &report);
  if (queried != Outcome::kSuccess) return {queried};
  PortStates cycled = AllPorts(report.port_count);
  if (!request.cycle_all_ports) {
    for (int64_t port : request.cycle_ports) {
      if (port <= report.port_count) continue;
      Reason beyond(Cause::kPortBeyondHub, hub->device());
      beyond.number = port;
      beyond.count = report.port_count;
      out.Explain(beyond);
      return {Outcome::kInvalidNumber};
    }
    cycled = PortBits(request.cycle_ports);
  }

  // From the first set frame on, a deadly signal must not leave the ports
  // off: it is held, and acted on once they are back on.
  DeadlySignalHold hold;
  const Outcome outcome =
      OffWaitOn(&hub.value(), request, report, cycled, &hold, out);
  return {outcome, hold.End()};
}
