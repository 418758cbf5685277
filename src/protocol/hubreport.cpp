#include "protocol/hubreport.h"

#include <cstdlib>

#include "protocol/messages.h"

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
  const size_t end = reply.find('\n');
  return end == std::string::npos ? reply.size() : end;
}

}  // namespace

ReportStatus DecodeQueryReply(const std::string& reply, HubReport* report) {
  if (reply.compare(0, kIdLength, kHubId) != 0 ||
      BodyLength(reply) < kQueryFieldsEnd)
    return ReportStatus::kNotAHub;
  // atoi on exactly the two count characters: blanks, a sign, then digits.
  const std::string count = reply.substr(kPortCountAt, kPortCountLength);
  report->port_count = std::atoi(count.c_str());
  report->firmware = reply.substr(kFirmwareAt, kFirmwareLength);
  return ReportStatus::kOk;
}

ReportStatus DecodeStateReply(const std::string& reply, HubReport* report) {
  const std::string text = ReplyText(reply);
  if (!IsStateHex(text)) return ReportStatus::kNoStates;
  report->states = ParseStateHex(text);
  return ReportStatus::kOk;
}
