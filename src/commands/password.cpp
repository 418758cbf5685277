#include "commands/password.h"

#include "commands/lockedhub.h"
#include "link/exchange.h"
#include "link/messages.h"
#include "link/status.h"

const char kDefaultPassword[] = "mira    ";
const char kInvalidPassword[] = "Invalid Password!";

namespace {

const char kChangePasswordError[] = "Change Password Error!";

bool IsControl(char ch) {
  const unsigned char byte = static_cast<unsigned char>(ch);
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

bool MakePasswordField(const std::string& arg, std::string* field) {
  if (arg.size() > kPasswordFieldLength) return false;
  for (char ch : arg)
    if (IsControl(ch)) return false;
  *field = arg;
  field->resize(kPasswordFieldLength, ' ');
  return true;
}

Outcome ChangePassword(const Request& request) {
  HubLock lock;
  Outcome locked = LockHub(request.device, &lock, kChangePasswordError);
  if (!locked.Succeeded()) return locked;
  const ExchangeResult exchange = RunExchange(
      request.device,
      BuildFrame(kChangePasswordCode, request.password, request.new_password),
      kReplyTimeoutMs, CommandPortUse(&lock));
  if (exchange.status != kOK) return Failure(kChangePasswordError);
  switch (ClassifyAcknowledgement(exchange.reply)) {
    case ReplyClass::kAccepted: return Success();
    case ReplyClass::kWrongPassword: return Failure(kInvalidPassword);
    case ReplyClass::kRefused: break;
  }
  return Failure(kChangePasswordError);
}
