#include "commands/setstate.h"

#include <cstdint>

#include "commands/password.h"
#include "dispatch.h"
#include "link/exchange.h"
#include "link/hublock.h"
#include "link/hubquery.h"
#include "link/messages.h"
#include "portstate/stateargs.h"

namespace {

const char kStateFormatError[] = "State Format Error!";
const char kSetPortStateError[] = "Set Port State Error!";
const char kPasswordError[] = "Password Error!";
const char kCommandRefused[] = "Command Error!";

// The shortest state argument with a meaning: a function letter and a
// separator. A lone letter must not switch every port on by accident.
constexpr size_t kShortestStateArgument = 2;

}  // namespace

void SetPortState_PIC(std::string PIC_command, std::string curr_PS) {
  std::string reply;
  std::string ret = SendCommand(COM_Name, PIC_command, &reply, kReplyTimeoutMs);
  if (ret != kOK) RetError(ret);
  switch (ClassifySetReply(reply, curr_PS)) {
    case SetReplyClass::kAccepted: return;
    case SetReplyClass::kEchoMismatch: RetError(kSetPortStateError);
    case SetReplyClass::kWrongPassword: RetError(kPasswordError);
    case SetReplyClass::kRefused: RetError(kCommandRefused);
  }
}

void DoSetPortState(std::string sp_command) {
  if (!IsHubPort(COM_Name)) DoCommandUsage();
  std::string sPS;
  if (arg3.empty()) {
    current_password = kDefaultPassword;
    sPS = arg2;
  } else {
    TakePassword(arg2, &current_password);
    sPS = arg3;
  }

  // Held until the set message is answered: no other run may change the
  // hub between the states read here and the states sent below.
  HubLock lock;
  const HubReport hub = QueryHubForRun(&lock);
  PS64 word = hub.word;

  sPS = toUpper(sPS);
  if (sPS.size() < kShortestStateArgument) RetError(kStateFormatError);
  const std::string func(1, sPS[0]);
  std::string curr_PS;
  std::string ret;
  if (func == kFuncOff || func == kFuncOn || func == kFuncToggle)
    ret = Update_Port_State(func, sPS, hub.nPorts, &word, &curr_PS);
  else if (func == kFuncBinary || func == kFuncHex)
    ret = Update_Port_State_BH(func, sPS, hub.nPorts, &word, &curr_PS);
  else
    RetError(kStateFormatError);
  if (ret != kOK) RetError(ret);

  SetPortState_PIC(BuildFrame(sp_command, current_password, curr_PS), curr_PS);
}
