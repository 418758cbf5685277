#include "link/messages.h"

const char kQueryCode[] = "?Q";
const char kGetStateCode[] = "GP";
const char kSetCode[] = "SP";
const char kSetFlashCode[] = "FP";
const char kChangePasswordCode[] = "CP";
const char kSaveCode[] = "WP";
const char kRestoreCode[] = "RD";
const char kResetCode[] = "RH";

const char kWrongPasswordReply[] = "E01";

namespace {

const char kFrameEnd[] = "\r";

}  // namespace

std::string BuildFrame(std::string code) { return code + kFrameEnd; }

std::string BuildFrame(std::string code, std::string field) {
  return code + field + kFrameEnd;
}

std::string BuildFrame(std::string code, std::string field1,
                       std::string field2) {
  return code + field1 + field2 + kFrameEnd;
}

std::string ReplyText(std::string reply) {
  return reply.substr(0, reply.find('\0'));
}

bool IsWrongPassword(std::string reply) {
  return ReplyText(reply).compare(0, sizeof kWrongPasswordReply - 1,
                                  kWrongPasswordReply) == 0;
}

ReplyClass ClassifyAcknowledgement(std::string reply) {
  if (IsWrongPassword(reply)) return ReplyClass::kWrongPassword;
  std::string text = ReplyText(reply);
  if (!text.empty() && text[0] == kAcceptMark) return ReplyClass::kAccepted;
  return ReplyClass::kRefused;
}

SetReplyClass ClassifySetReply(std::string reply, std::string sentStates) {
  std::string text = ReplyText(reply);
  if (!text.empty() && text[0] == kAcceptMark) {
    if (text.compare(1, kStateHexLength, sentStates) == 0 &&
        sentStates.size() == kStateHexLength)
      return SetReplyClass::kAccepted;
    return SetReplyClass::kEchoMismatch;
  }
  if (IsWrongPassword(reply)) return SetReplyClass::kWrongPassword;
  return SetReplyClass::kRefused;
}
