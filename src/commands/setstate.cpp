#include "commands/setstate.h"

#include "commands/lockedhub.h"
#include "link/exchange.h"
#include "link/messages.h"
#include "link/status.h"
#include "portstate/stateargs.h"

namespace {

const char kSetPortStateError[] = "Set Port State Error!";
const char kPasswordError[] = "Password Error!";
const char kCommandRefused[] = "Command Error!";

}  // namespace

SetResult SendStates(const std::string& device, PortUse use,
                     bool keep_as_power_on, const std::string& password,
                     PortStates states) {
  const std::string state_hex = FormatStateHex(states);
  const char* code =
      keep_as_power_on ? kSetStatesAndFlashCode : kSetStatesCode;
  const ExchangeResult exchange = RunExchange(
      device, BuildFrame(code, password, state_hex), kReplyTimeoutMs, use);
  SetResult result;
  result.frame_started = exchange.frame_started;
  if (exchange.status != kOK) {
    result.outcome = Failure(exchange.status);
    return result;
  }
  switch (ClassifySetReply(exchange.reply, state_hex)) {
    case SetReplyClass::kAccepted: break;
    case SetReplyClass::kEchoMismatch:
      result.outcome = Failure(kSetPortStateError);
      break;
    case SetReplyClass::kWrongPassword:
      result.outcome = Failure(kPasswordError);
      result.refused = true;
      break;
    case SetReplyClass::kRefused:
      result.outcome = Failure(kCommandRefused);
      result.refused = true;
      break;
  }
  return result;
}

Outcome SetStates(const Request& request) {
  // Held until the set message is answered: no other run may change the
  // hub between the states read here and the states sent below.
  HubLock lock;
  HubReport hub;
  Outcome queried = LockAndQueryHub(request.device, &lock, &hub);
  if (!queried.Succeeded()) return queried;
  const StateChange change =
      ApplyStateArgument(request.state_argument, hub.port_count, hub.states);
  if (!change.error.empty()) return Failure(change.error);
  return SendStates(request.device, CommandPortUse(&lock),
                    request.keep_as_power_on, request.password, change.states)
      .outcome;
}
