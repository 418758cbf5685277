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
  result.reason = hub->Why(code, exchange);
  if (exchange.status != ExchangeStatus::kOk) {
    result.outcome = LineFailure(exchange.status);
    return result;
  }
  switch (ClassifySetReply(exchange.reply, state_hex)) {
    case SetReplyClass::kAccepted: break;
    case SetReplyClass::kEchoMismatch:
      result.outcome = Outcome::kSetPortStateError;
      result.reason.cause = Cause::kEchoDiffers;
      result.reason.sent = state_hex;
      break;
    case SetReplyClass::kWrongPassword:
      result.outcome = Outcome::kPasswordError;
      result.reason.cause = Cause::kWrongPassword;
      result.refused = true;
      break;
    case SetReplyClass::kRefused:
      result.outcome = Outcome::kCommandError;
      result.reason.cause = Cause::kRefused;
      result.refused = true;
      break;
  }
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
  Reason refused;
  refused.device = hub->device();
  refused.count = report.port_count;
  switch (change.status) {
    case StateArgStatus::kApplied: break;
    case StateArgStatus::kBadFunction:
      refused.cause = Cause::kBadStates;
      out.Explain(refused);
      return Outcome::kStateFormatError;
    case StateArgStatus::kBadNumber:
      refused.cause = Cause::kBadStateNumber;
      out.Explain(refused);
      return Outcome::kInvalidNumber;
  }
  const SetResult set = SendStates(&hub.value(), request.set_target,
                                   request.password, change.states);
  if (set.outcome != Outcome::kSuccess) out.Explain(set.reason);
  return set.outcome;
}
