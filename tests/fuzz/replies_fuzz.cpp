// Fuzzes reply decoding: whatever bytes a device sends, the query, state,
// set and acknowledgement replies decode to one of their documented
// results and never read beyond the bytes received. Input: one byte for
// the port count used by the text forms, the rest the reply.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "commands/json.h"
#include "portstate/portstate.h"
#include "protocol/hubreport.h"
#include "protocol/messages.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t port_count = static_cast<int8_t>(data[0]);
  // Exactly the bytes received: the fuzzer's buffer has nothing behind it.
  const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);

  HubReport report;
  report.port_count = -1000;
  report.firmware = "unset";
  ReportStatus result = DecodeQueryReply(reply, &report);
  if (result == ReportStatus::kOk) {
    Check(reply.compare(0, 6, "KORVEN") == 0);
    Check(report.firmware.size() == 3);
    Check(report.port_count >= -9 && report.port_count <= 99);
  } else {
    Check(result == ReportStatus::kNotAHub && report.port_count == -1000);
  }

  report.states = 12345;
  result = DecodeStateReply(reply, &report);
  if (result == ReportStatus::kOk)
    Check(report.states <= 0xFFFFFFFFu);
  else
    Check(result == ReportStatus::kNoStates && report.states == 12345);

  const std::string sent = FormatStateHex(report.states);
  if (ClassifySetReply(reply, sent) == SetReplyClass::kAccepted)
    Check(reply.size() >= 9 && reply.compare(1, 8, sent) == 0);
  if (ClassifyAcknowledgement(reply) == ReplyClass::kWrongPassword)
    Check(IsWrongPasswordReply(reply));

  report.port_count = port_count;
  report.firmware = reply.substr(0, 3);
  const std::string json =
      HubJson(reply, reply, report, FirmwareField::kIncluded, {});
  for (char ch : json)
    Check(static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F);
  Check(FormatBinaryStates(report.states, port_count).size() ==
        static_cast<size_t>(port_count > 0 ? port_count : 0));
  return 0;
}
