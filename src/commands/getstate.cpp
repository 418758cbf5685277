#include "commands/getstate.h"

#include "commands/json.h"
#include "commands/lockedhub.h"
#include "names/stablenames.h"
#include "portstate/portstate.h"

Outcome GetStates(const Request& request, const LinkSettings& settings,
                  LineSink& out) {
  std::optional<LockedHub> hub;
  HubReport report;
  const Outcome queried =
      LockedHub::LockAndReadReport(request, settings, out, &hub, &report);
  if (queried != Outcome::kSuccess) return queried;
  switch (request.form) {
    case OutputForm::kBinary:
      out.Line(FormatBinaryStates(report.states, report.port_count));
      break;
    case OutputForm::kHex: out.Line(FormatStateHex(report.states)); break;
    case OutputForm::kJson: {
      // Short of descriptors, as for a device it cannot open.
      const auto links = StableNames(hub->device(), settings.stable_name_dirs);
      if (!links)
        return OutOfDescriptors(hub->device(), Outcome::kQueryErr, out);
      out.Line(HubJson(request.hub, hub->device(), report,
                       FirmwareField::kLeftOut, *links));
      break;
    }
    default: {
      const PortLists lists = ListPorts(report.states, report.port_count);
      out.Line(kOnLabel + FormatPortList(lists.on) + " " + kOffLabel +
               FormatPortList(lists.off));
      break;
    }
  }
  return Outcome::kSuccess;
}
