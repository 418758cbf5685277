// Fuzzes reply decoding: whatever bytes a device sends, the query, state,
// set and acknowledgement replies decode to one of their documented
// results and never read beyond the bytes received. Input: one byte for
// the port count used by the text forms, the rest the reply.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dispatch.h"
#include "link/hubquery.h"
#include "link/messages.h"
#include "portstate/portstate.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t nPorts = static_cast<int8_t>(data[0]);
  // Exactly the bytes received: the fuzzer's buffer has nothing behind it.
  const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);

  int32_t ports = -1000;
  std::string fw = "unset";
  std::string result = DecodeQueryReply(reply, &ports, &fw);
  if (result == kOK) {
    Check(reply.compare(0, 6, "KORVEN") == 0);
    Check(fw.size() == 3);
    Check(ports >= -9 && ports <= 99);
  } else {
    Check(result == kIdErr && ports == -1000 && fw == "unset");
  }

  PS64 word = 12345;
  result = DecodeStateReply(reply, &word);
  if (result == kOK) {
    Check(word <= 0xFFFFFFFFu);
    std::string hex;
    htos_PS64(word, &hex);
    Check(to_upper(reply[0]) == hex[0]);
  } else {
    Check(result == kGetPortStateErr && word == 12345);
  }

  std::string sent;
  htos_PS64(word, &sent);
  SetReplyClass set = ClassifySetReply(reply, sent);
  if (set == SetReplyClass::kAccepted)
    Check(reply.size() >= 9 && reply.compare(1, 8, sent) == 0);
  ReplyClass ack = ClassifyAcknowledgement(reply);
  Check(ack != ReplyClass::kWrongPassword || IsWrongPassword(reply));
  Check(ReplyText(reply).size() <= reply.size());

  std::string on;
  std::string off;
  ParsePortStates(word, nPorts, &on, &off);
  Check(!on.empty() && !off.empty());
  Check(BinaryStates(word, nPorts).size() ==
        static_cast<size_t>(nPorts > 0 ? nPorts : 0));
  return 0;
}
