#include "link/hubquery.h"

#include <cstdlib>

#include "link/exchange.h"
#include "link/messages.h"

const char kQueryErr[] = "Query Err";
const char kIdErr[] = "ID Err";
const char kGetPortStateErr[] = "Get Port State Err";

namespace {

const char kHubId[] = "KORVEN";

constexpr size_t kIdLength = 6;
constexpr size_t kPortCountAt = 10;
constexpr size_t kPortCountLength = 2;
constexpr size_t kFirmwareAt = 12;
constexpr size_t kFirmwareLength = 3;
constexpr size_t kQueryFieldsEnd = kFirmwareAt + kFirmwareLength;

// The characters before the line feed that ends a reply.
size_t BodyLength(const std::string& reply) {
  size_t end = reply.find('\n');
  return end == std::string::npos ? reply.size() : end;
}

}  // namespace

std::string DecodeQueryReply(std::string reply, int32_t* nPorts,
                             std::string* pFW) {
  if (reply.compare(0, kIdLength, kHubId) != 0 ||
      BodyLength(reply) < kQueryFieldsEnd)
    return kIdErr;
  // atoi on exactly the two count characters: blanks, a sign, then digits.
  std::string count = reply.substr(kPortCountAt, kPortCountLength);
  *nPorts = std::atoi(count.c_str());
  *pFW = reply.substr(kFirmwareAt, kFirmwareLength);
  return kOK;
}

std::string DecodeStateReply(std::string reply, PS64* nPS64) {
  std::string text = ReplyText(reply);
  if (!IsStateHex(text)) return kGetPortStateErr;
  *nPS64 = s2hex_l(text);
  return kOK;
}

std::string QueryHub(std::string COM_Name, int32_t* nPorts, std::string* pFW,
                     PS64* nPS64) {
  std::string reply;
  if (SendCommand(COM_Name, BuildFrame(kQueryCode), &reply, kReplyTimeoutMs) !=
      kOK)
    return kQueryErr;
  std::string ret = DecodeQueryReply(reply, nPorts, pFW);
  if (ret != kOK) return ret;

  if (SendCommand(COM_Name, BuildFrame(kGetStateCode), &reply,
                  kReplyTimeoutMs) != kOK)
    return kGetPortStateErr;
  return DecodeStateReply(reply, nPS64);
}
