#include "dispatch.h"

#include "commands/cycle.h"
#include "commands/flash.h"
#include "commands/getstate.h"
#include "commands/password.h"
#include "commands/query.h"
#include "commands/setstate.h"
#include "help.h"

Outcome RunRequest(const Request& request, LineSink& out) {
  switch (request.command) {
    case CommandKind::kHelp: WriteHelp(out); return Success();
    case CommandKind::kScan: return ScanForHubs(request, out);
    case CommandKind::kQueryHub: return QueryOneHub(request, out);
    case CommandKind::kGetStates: return GetStates(request, out);
    case CommandKind::kSetStates: return SetStates(request);
    case CommandKind::kChangePassword: return ChangePassword(request);
    case CommandKind::kSaveStates: return SaveStates(request);
    case CommandKind::kRestoreDefaults: return RestoreDefaults(request);
    case CommandKind::kResetHub: return ResetHub(request);
    case CommandKind::kPowerCycle: return PowerCycle(request);
  }
  return Success();
}
