#include "commands/onemessage.h"

#include "commands/lockedhub.h"
#include "link/messages.h"

namespace {

struct OneMessageCommand {
  CommandKind command;
  const char* code;
  // What the run says when the message did not get through. kSuccess for
  // /R, which says what the line said until the frame is out, and judges
  // whatever came back after.
  Outcome not_through;
  Outcome refused;  // the reply is neither "E01" nor 'G'
};

// /R: a hub that resets may answer anything, or nothing.
const OneMessageCommand kCommands[] = {
    {CommandKind::kChangePassword, kChangePasswordCode,
     Outcome::kChangePasswordError, Outcome::kChangePasswordError},
    {CommandKind::kSaveStates, kSaveStatesCode, Outcome::kSavePortStatesError,
     Outcome::kSaveToFlashRefused},
    {CommandKind::kRestoreDefaults, kRestoreDefaultsCode,
     Outcome::kRestoreDefaultError, Outcome::kRestoreDefaultRefused},
    {CommandKind::kResetHub, kResetHubCode, Outcome::kSuccess,
     Outcome::kSuccess},
};

// Until the frame is out there is nothing the hub could have done.
bool FrameNotOut(ExchangeStatus status) {
  return status == ExchangeStatus::kOpenFailed ||
         status == ExchangeStatus::kConfigureFailed ||
         status == ExchangeStatus::kSendFailed;
}

}  // namespace

Outcome SendOneMessage(const Request& request, const LinkSettings& settings) {
  const OneMessageCommand* command = &kCommands[0];
  for (const OneMessageCommand& each : kCommands)
    if (each.command == request.command) command = &each;
  const bool after_frame_only = command->not_through == Outcome::kSuccess;

  LockedHub hub(request, settings);
  const Outcome locked = hub.Lock(after_frame_only ? Outcome::kOpenPortError
                                                   : command->not_through);
  if (locked != Outcome::kSuccess) return locked;
  const std::string frame =
      request.command == CommandKind::kChangePassword
          ? BuildFrame(command->code, request.password, request.new_password)
          : BuildFrame(command->code, request.password);
  const ExchangeResult exchange = hub.Exchange(frame);
  if (!after_frame_only && exchange.status != ExchangeStatus::kOk)
    return command->not_through;
  if (after_frame_only && FrameNotOut(exchange.status))
    return LineFailure(exchange.status);
  switch (ClassifyAcknowledgement(exchange.reply)) {
    case ReplyClass::kAccepted: return Outcome::kSuccess;
    case ReplyClass::kWrongPassword: return Outcome::kInvalidPassword;
    case ReplyClass::kRefused: break;
  }
  return command->refused;
}
