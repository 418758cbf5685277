#include "dispatch.h"

#include "catalogue.h"
#include "commandline.h"
#include "commands/cycle.h"
#include "commands/getstate.h"
#include "commands/onemessage.h"
#include "commands/query.h"
#include "commands/setstate.h"
#include "help.h"

RunEnd RunRequest(const Request& request, const LinkSettings& host_settings,
                  LineSink& out) {
  LinkSettings settings = host_settings;
  if (request.lock_wait_us >= 0) settings.lock_wait_us = request.lock_wait_us;
  switch (request.command) {
    case CommandKind::kHelp: WriteHelp(out); return {};
    case CommandKind::kVersion: WriteVersion(out); return {};
    case CommandKind::kScan: return {ScanForHubs(request, settings, out)};
    case CommandKind::kShowOneHub: return {ShowOneHub(request, settings, out)};
    case CommandKind::kGetStates: return {GetStates(request, settings, out)};
    case CommandKind::kSetStates: return {SetStates(request, settings, out)};
    case CommandKind::kChangePassword:
    case CommandKind::kSaveStates:
    case CommandKind::kRestoreDefaults:
    case CommandKind::kResetHub:
      return {SendOneMessage(request, settings, out)};
    case CommandKind::kPowerCycle: return PowerCycle(request, settings, out);
  }
  return {};
}

RunEnd RunCommandLine(int argc, const char* const* argv,
                      const std::optional<std::string>& environment_password,
                      const LinkSettings& settings, LineSink& out) {
  const ParsedCommandLine parsed =
      ParseCommandLine(argc, argv, settings.device_dir, environment_password);
  if (parsed.Refused()) out.Explain(Reason(parsed.refusal_cause, ""));
  const RunEnd end = parsed.Refused()
                         ? RunEnd{parsed.refusal}
                         : RunRequest(parsed.request, settings, out);
  if (end.outcome != Outcome::kSuccess) out.Line(OutcomeText(end.outcome));
  return end;
}
