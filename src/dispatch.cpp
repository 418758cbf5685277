#include "dispatch.h"

#include "catalogue.h"
#include "commandline.h"
#include "commands/cycle.h"
#include "commands/getstate.h"
#include "commands/onemessage.h"
#include "commands/query.h"
#include "commands/setstate.h"
#include "help.h"

RunEnd RunRequest(const Request& request, const LinkSettings& settings,
                  LineSink& out) {
  switch (request.command) {
    case CommandKind::kHelp: WriteHelp(out); return {};
    case CommandKind::kVersion: WriteVersion(out); return {};
    case CommandKind::kScan: return {ScanForHubs(request, settings, out)};
    case CommandKind::kShowOneHub: return {ShowOneHub(request, settings, out)};
    case CommandKind::kGetStates: return {GetStates(request, settings, out)};
    case CommandKind::kSetStates: return {SetStates(request, settings)};
    case CommandKind::kChangePassword:
    case CommandKind::kSaveStates:
    case CommandKind::kRestoreDefaults:
    case CommandKind::kResetHub: return {SendOneMessage(request, settings)};
    case CommandKind::kPowerCycle: return PowerCycle(request, settings);
  }
  return {};
}

RunEnd RunCommandLine(int argc, const char* const* argv,
                      const LinkSettings& settings, LineSink& out) {
  const ParsedCommandLine parsed =
      ParseCommandLine(argc, argv, settings.device_dir);
  const RunEnd end = parsed.Refused()
                         ? RunEnd{parsed.refusal}
                         : RunRequest(parsed.request, settings, out);
  if (end.outcome != Outcome::kSuccess) out.Line(OutcomeText(end.outcome));
  return end;
}
