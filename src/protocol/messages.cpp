#include "protocol/messages.h"

#include "base/text.h"
#include "portstate/portstate.h"

const char kQueryCode[] = "?Q";
const char kGetStatesCode[] = "GP";
const char kSetStatesCode[] = "SP";
const char kSetStatesAndFlashCode[] = "FP";
const char kChangePasswordCode[] = "CP";
const char kSaveStatesCode[] = "WP";
const char kRestoreDefaultsCode[] = "RD";
const char kResetHubCode[] = "RH";
const char kDefaultPassword[] = "mira    ";

namespace {

const char kFrameEnd[] = "\r";
// The reply that marks a refused password.
const char kWrongPasswordReply[] = "E01";
constexpr char kAcceptMark = 'G';

}  // namespace

bool MakePasswordField(const std::string& password, std::string* field) {
  if (password.size() > kPasswordFieldLength) return false;
  for (char ch : password)
    if (IsControlByte(ch)) return false;
  *field = password;
  field->resize(kPasswordFieldLength, ' ');
  return true;
}

std::string BuildFrame(const std::string& code) { return code + kFrameEnd; }

std::string BuildFrame(const std::string& code, const std::string& field) {
  return code + field + kFrameEnd;
}

std::string BuildFrame(const std::string& code, const std::string& field1,
                       const std::string& field2) {
  return code + field1 + field2 + kFrameEnd;
}

std::string ReplyText(const std::string& reply) {
  return reply.substr(0, reply.find('\0'));
}

bool IsWrongPasswordReply(const std::string& reply) {
  return ReplyText(reply).compare(0, sizeof kWrongPasswordReply - 1,
                                  kWrongPasswordReply) == 0;
}

ReplyClass ClassifyAcknowledgement(const std::string& reply) {
  if (IsWrongPasswordReply(reply)) return ReplyClass::kWrongPassword;
  const std::string text = ReplyText(reply);
  if (!text.empty() && text[0] == kAcceptMark) return ReplyClass::kAccepted;
  return ReplyClass::kRefused;
}

SetReplyClass ClassifySetReply(const std::string& reply,
                               const std::string& sent_states) {
  const std::string text = ReplyText(reply);
  if (!text.empty() && text[0] == kAcceptMark) {
    if (sent_states.size() == kStateHexLength &&
        text.compare(1, kStateHexLength, sent_states) == 0)
      return SetReplyClass::kAccepted;
    return SetReplyClass::kEchoMismatch;
  }
  if (IsWrongPasswordReply(reply)) return SetReplyClass::kWrongPassword;
  return SetReplyClass::kRefused;
}
