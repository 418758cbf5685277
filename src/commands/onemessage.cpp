#include "commands/onemessage.h"

#include <cstdlib>
#include <optional>

#include "commands/lockedhub.h"
#include "protocol/messages.h"

namespace {

// What a command makes of its one reply.
enum class ReplyUse {
  kJudged,        // 'G' accepted, "E01" a wrong password, the rest refused
  kDoneOnceSent,  // /R: a hub that resets may answer anything, or
                  // nothing; only "E01" is a refusal
};

struct OneMessageCommand {
  const char* code;
  ReplyUse reply_use;
  Outcome not_through;             // the message did not get through
  std::optional<Outcome> refused;  // kJudged: neither "E01" nor 'G'
};

// A switch, so that the build stops at a command kind it lacks.
OneMessageCommand CommandFor(CommandKind kind) {
  switch (kind) {
    case CommandKind::kChangePassword:
      return {kChangePasswordCode, ReplyUse::kJudged,
              Outcome::kChangePasswordError, Outcome::kChangePasswordError};
    case CommandKind::kSaveStates:
      return {kSaveStatesCode, ReplyUse::kJudged, Outcome::kSavePortStatesError,
              Outcome::kSaveToFlashRefused};
    case CommandKind::kRestoreDefaults:
      return {kRestoreDefaultsCode, ReplyUse::kJudged,
              Outcome::kRestoreDefaultError, Outcome::kRestoreDefaultRefused};
    case CommandKind::kResetHub:
      return {kResetHubCode, ReplyUse::kDoneOnceSent, Outcome::kOpenPortError,
              std::nullopt};
    case CommandKind::kHelp:
    case CommandKind::kVersion:
    case CommandKind::kScan:
    case CommandKind::kShowOneHub:
    case CommandKind::kGetStates:
    case CommandKind::kSetStates:
    case CommandKind::kPowerCycle: break;
  }
  // Only the four kinds above are dispatched here (dispatch.cpp).
  std::abort();
}

// Until the frame is out there is nothing the hub could have done.
bool FrameNotOut(ExchangeStatus status) {
  return status == ExchangeStatus::kOpenFailed ||
         status == ExchangeStatus::kConfigureFailed ||
         status == ExchangeStatus::kSendFailed;
}

}  // namespace

Outcome SendOneMessage(const Request& request, const LinkSettings& settings,
                       LineSink& out) {
  const OneMessageCommand command = CommandFor(request.command);
  std::optional<LockedHub> hub;
  const Outcome locked =
      LockedHub::Lock(request, settings, command.not_through, out, &hub);
  if (locked != Outcome::kSuccess) return locked;
  const std::string frame =
      request.command == CommandKind::kChangePassword
          ? BuildFrame(command.code, request.password, request.new_password)
          : BuildFrame(command.code, request.password);
  const ExchangeResult exchange = hub->Exchange(frame);
  // Why, made only for a failure: the exchange's own reason, or the
  // hub's refusal of what got through.
  auto explain = [&](std::optional<Cause> refusal) {
    Reason reason = hub->Why(command.code, exchange);
    if (refusal) reason.cause = *refusal;
    out.Explain(reason);
  };
  switch (command.reply_use) {
    case ReplyUse::kJudged:
      if (exchange.status == ExchangeStatus::kOk) break;
      explain(std::nullopt);
      return command.not_through;
    case ReplyUse::kDoneOnceSent:
      if (!FrameNotOut(exchange.status)) break;
      explain(std::nullopt);
      return LineFailure(exchange.status);
  }
  switch (ClassifyAcknowledgement(exchange.reply)) {
    case ReplyClass::kAccepted: return Outcome::kSuccess;
    case ReplyClass::kWrongPassword:
      explain(Cause::kWrongPassword);
      return Outcome::kInvalidPassword;
    case ReplyClass::kRefused: break;
  }
  if (command.reply_use == ReplyUse::kDoneOnceSent) return Outcome::kSuccess;
  explain(Cause::kRefused);
  return *command.refused;
}
