#include "commands/password.h"

#include "dispatch.h"
#include "link/exchange.h"
#include "link/hublock.h"
#include "link/messages.h"

const char kDefaultPassword[] = "mira    ";
const char kInvalidPassword[] = "Invalid Password!";

namespace {

const char kChangePasswordError[] = "Change Password Error!";

bool IsControl(char ch) {
  const unsigned char byte = static_cast<unsigned char>(ch);
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

bool PasswordField(std::string arg, std::string* pField) {
  if (arg.size() > kPasswordFieldLength) return false;
  for (char ch : arg)
    if (IsControl(ch)) return false;
  arg.resize(kPasswordFieldLength, ' ');
  *pField = arg;
  return true;
}

void TakePassword(std::string arg, std::string* pField) {
  if (!PasswordField(arg, pField)) RetError(kInvalidPassword);
}

void DoChangePassword() {
  if (!IsHubPort(COM_Name)) DoCommandUsage();
  if (arg3.empty()) {
    current_password = kDefaultPassword;
    TakePassword(arg2, &new_password);
  } else {
    TakePassword(arg2, &current_password);
    TakePassword(arg3, &new_password);
  }

  HubLock lock;
  LockHubForRun(&lock);
  std::string reply;
  const std::string frame =
      BuildFrame(kChangePasswordCode, current_password, new_password);
  if (SendCommand(COM_Name, frame, &reply, kReplyTimeoutMs) != kOK)
    RetError(kChangePasswordError);
  switch (ClassifyAcknowledgement(reply)) {
    case ReplyClass::kAccepted: return;
    case ReplyClass::kWrongPassword: RetError(kInvalidPassword);
    case ReplyClass::kRefused: RetError(kChangePasswordError);
  }
}
