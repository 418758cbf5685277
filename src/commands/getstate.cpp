#include "commands/getstate.h"

#include "commands/json.h"
#include "commands/lockedhub.h"
#include "commands/query.h"
#include "portstate/portstate.h"

Outcome GetStates(const Request& request, LineSink& out) {
  HubLock lock;
  HubReport hub;
  Outcome queried = LockAndQueryHub(request.device, &lock, &hub);
  if (!queried.Succeeded()) return queried;
  switch (request.form) {
    case OutputForm::kBinary:
      out.Line(FormatBinaryStates(hub.states, hub.port_count));
      break;
    case OutputForm::kHex:
      out.Line(FormatStateHex(hub.states));
      break;
    case OutputForm::kJson:
      out.Line(HubJson(HubName(request.device), request.device, hub, false));
      break;
    default: {
      const PortLists lists = ListPorts(hub.states, hub.port_count);
      out.Line(kOnLabel + FormatPortList(lists.on) + " " + kOffLabel +
               FormatPortList(lists.off));
      break;
    }
  }
  return Success();
}
