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
    return result;
  }
  switch (ClassifySetReply(exchange.reply, state_hex)) {
    case SetReplyClass::kAccepted: break;
    case SetReplyClass::kEchoMismatch:
      result.outcome = Outcome::kSetPortStateError;
      break;
    case SetReplyClass::kWrongPassword:
      result.outcome = Outcome::kPasswordError;
      result.refused = true;
      break;
    case SetReplyClass::kRefused:
      result.outcome = Outcome::kCommandError;
      result.refused = true;
      break;
  }
  return result;
}

Outcome SetStates(const Request& request, const LinkSettings& settings) {
  // Held until the set message is answered: no other run may change the
  // hub between the states read here and the states sent below.
  std::optional<LockedHub> hub;
  HubReport report;
  const Outcome queried =
      LockedHub::LockAndReadReport(request, settings, &hub, &report);
  if (queried != Outcome::kSuccess) return queried;
  const StateChange change = ApplyStateArgument(
      request.state_argument, report.port_count, report.states);
  switch (change.status) {
    case StateArgStatus::kApplied: break;
    case StateArgStatus::kBadFunction: return Outcome::kStateFormatError;
    case StateArgStatus::kBadNumber: return Outcome::kInvalidNumber;
  }
  return SendStates(&hub.value(), request.set_target, request.password,
                    change.states)
      .outcome;
}
