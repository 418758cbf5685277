#include "commands/onemessage.h"

#include "commands/lockedhub.h"
#include "link/messages.h"

namespace {

struct OneMessageCommand {
  CommandKind command;
  const char* code;
  // /R: a hub that resets may answer anything, or nothing. Such a command
  // says what the line said until the frame is out, and succeeds after
  // unless the hub refuses the password.
  bool done_once_sent;
  Outcome not_through;  // the message did not get through
  Outcome refused;      // the reply is neither "E01" nor 'G'
};

const OneMessageCommand kCommands[] = {
    {CommandKind::kChangePassword, kChangePasswordCode, false,
     Outcome::kChangePasswordError, Outcome::kChangePasswordError},
    {CommandKind::kSaveStates, kSaveStatesCode, false,
     Outcome::kSavePortStatesError, Outcome::kSaveToFlashRefused},
    {CommandKind::kRestoreDefaults, kRestoreDefaultsCode, false,
     Outcome::kRestoreDefaultError, Outcome::kRestoreDefaultRefused},
    {CommandKind::kResetHub, kResetHubCode, true, Outcome::kOpenPortError,
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
  const bool after_frame_only = command->done_once_sent;

  LockedHub hub(request, settings);
  const Outcome locked = hub.Lock(command->not_through);
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
