#include "commands/flash.h"

#include <string>

#include "commands/password.h"
#include "dispatch.h"
#include "link/exchange.h"
#include "link/hublock.h"
#include "link/messages.h"

namespace {

struct FlashCommand {
  const char* code;
  const char* exchangeFailed;  // the message could not be exchanged
  const char* refused;         // the reply is neither "E01" nor 'G'
};

const FlashCommand kSave = {kSaveCode, "Save Port States Error!",
                            "Error to Save Port States to Flash!"};
const FlashCommand kRestore = {kRestoreCode, "Restore Default Error!",
                               "Error to Restore Factory Default!"};

// Checks the arguments, fills current_password and exchanges the message;
// returns the exchange result and leaves the reply in *pReply.
std::string SendPasswordMessage(const char* code, std::string* pReply) {
  if (!IsHubPort(COM_Name) || !arg3.empty()) DoCommandUsage();
  if (arg2.empty())
    current_password = kDefaultPassword;
  else
    TakePassword(arg2, &current_password);
  HubLock lock;
  LockHubForRun(&lock);
  return SendCommand(COM_Name, BuildFrame(code, current_password), pReply,
                     kReplyTimeoutMs);
}

void Run(const FlashCommand& cmd) {
  std::string reply;
  if (SendPasswordMessage(cmd.code, &reply) != kOK)
    RetError(cmd.exchangeFailed);
  switch (ClassifyAcknowledgement(reply)) {
    case ReplyClass::kAccepted: return;
    case ReplyClass::kWrongPassword: RetError(kInvalidPassword);
    case ReplyClass::kRefused: RetError(cmd.refused);
  }
}

}  // namespace

void DoSavePortState() { Run(kSave); }

void DoRestoreDefault() { Run(kRestore); }

void DoResetHub() {
  std::string reply;
  std::string ret = SendPasswordMessage(kResetCode, &reply);
  // Until the message is out there is nothing the hub could have done.
  if (ret == kOpenPortError || ret == kSetPortOptionError || ret == kSendError)
    RetError(ret);
  if (IsWrongPassword(reply)) RetError(kInvalidPassword);
}
