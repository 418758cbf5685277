#include "commands/flash.h"

#include <string>

#include "commands/lockedhub.h"
#include "commands/password.h"
#include "link/exchange.h"
#include "link/messages.h"
#include "link/status.h"

namespace {

struct FlashCommand {
  const char* code;
  const char* exchange_failed;  // the message could not be exchanged
  const char* refused;          // the reply is neither "E01" nor 'G'
};

const FlashCommand kSave = {kSaveStatesCode, "Save Port States Error!",
                            "Error to Save Port States to Flash!"};
const FlashCommand kRestore = {kRestoreDefaultsCode, "Restore Default Error!",
                               "Error to Restore Factory Default!"};

Outcome SendPasswordMessage(const Request& request, const char* code,
                            const char* cannot_open, ExchangeResult* exchange) {
  HubLock lock;
  Outcome locked = LockHub(request.device, &lock, cannot_open);
  if (!locked.Succeeded()) return locked;
  *exchange = RunExchange(request.device, BuildFrame(code, request.password),
                          kReplyTimeoutMs, CommandPortUse(&lock));
  return Success();
}

Outcome Run(const Request& request, const FlashCommand& command) {
  ExchangeResult exchange;
  Outcome sent = SendPasswordMessage(request, command.code,
                                     command.exchange_failed, &exchange);
  if (!sent.Succeeded()) return sent;
  if (exchange.status != kOK) return Failure(command.exchange_failed);
  switch (ClassifyAcknowledgement(exchange.reply)) {
    case ReplyClass::kAccepted: return Success();
    case ReplyClass::kWrongPassword: return Failure(kInvalidPassword);
    case ReplyClass::kRefused: break;
  }
  return Failure(command.refused);
}

}  // namespace

Outcome SaveStates(const Request& request) { return Run(request, kSave); }

Outcome RestoreDefaults(const Request& request) {
  return Run(request, kRestore);
}

Outcome ResetHub(const Request& request) {
  ExchangeResult exchange;
  Outcome sent = SendPasswordMessage(request, kResetHubCode, kOpenPortError,
                                     &exchange);
  if (!sent.Succeeded()) return sent;
  // Until the message is out there is nothing the hub could have done.
  if (exchange.status == kOpenPortError ||
      exchange.status == kSetPortOptionError || exchange.status == kSendError)
    return Failure(exchange.status);
  if (IsWrongPasswordReply(exchange.reply)) return Failure(kInvalidPassword);
  return Success();
}
