#include "commands/setstate.h"

#include "portstate/stateargs.h"
#include "protocol/messages.h"

SetResult SendStates(LockedHub* hub, SetTarget target,
                     const std::string& password, PortStates states) {
  const std::string state_hex = FormatStateHex(states);
  const char* code = target == SetTarget::kCurrentAndPowerOnStates
                         ? kSetStatesAndFlashCode
                         : kSetStatesCode;
  const ExchangeResult exchange =
      hub->Exchange(BuildFrame(code, password, state_hex));
  SetResult result;
  result.frame_started = exchange.frame_started;
  if (exchange.status != ExchangeStatus::kOk) {
    result.outcome = LineFailure(exchange.status);
    result.reason = hub->Why(code, exchange);
    return result;
  }
  Cause cause = Cause::kRefused;
  switch (ClassifySetReply(exchange.reply, state_hex)) {
    case SetReplyClass::kAccepted: return result;
    case SetReplyClass::kEchoMismatch:
      result.outcome = Outcome::kSetPortStateError;
      cause = Cause::kEchoDiffers;
      break;
    case SetReplyClass::kWrongPassword:
      result.outcome = Outcome::kPasswordError;
      cause = Cause::kWrongPassword;
      result.refused = true;
      break;
    case SetReplyClass::kRefused:
      result.outcome = Outcome::kCommandError;
      result.refused = true;
      break;
  }
  result.reason = hub->Why(code, exchange);
  result.reason.cause = cause;
  result.reason.sent = state_hex;
  return result;
}

Outcome SetStates(const Request& request, const LinkSettings& settings,
                  LineSink& out) {
  // Held until the set message is answered: no other run may change the
  // hub between the states read here and the states sent below.
  std::optional<LockedHub> hub;
  HubReport report;
  const Outcome queried =
      LockedHub::LockAndReadReport(request, settings, out, &hub, &report);
  if (queried != Outcome::kSuccess) return queried;
  const StateChange change = ApplyStateArgument(
      request.state_argument, report.port_count, report.states);
  switch (change.status) {
    case StateArgStatus::kApplied: break;
    case StateArgStatus::kBadFunction:
      out.Explain(Reason(Cause::kBadStates, hub->device()));
      return Outcome::kStateFormatError;
    case StateArgStatus::kBadNumber: {
      Reason beyond(Cause::kBadStateNumber, hub->device());
      beyond.count = report.port_count;
      out.Explain(beyond);
      return Outcome::kInvalidNumber;
    }
  }
  const SetResult set = SendStates(&hub.value(), request.set_target,
                                   request.password, change.states);
  if (set.outcome != Outcome::kSuccess) out.Explain(set.reason);
  return set.outcome;
}
