// Fuzzes the state-argument language. Input: one byte, the port count as
// a signed value; eight bytes, the hub's current states; the rest, the
// state argument as typed. Every input must end in new states or one of
// the two refusals, and the states must obey the rules of their form.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "portstate/stateargs.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const int32_t port_count = static_cast<int8_t>(data[0]);
  PortStates current;
  std::memcpy(&current, data + 1, sizeof current);
  const std::string argument(reinterpret_cast<const char*>(data + 9), size - 9);

  const StateChange change = ApplyStateArgument(argument, port_count, current);
  if (!change.error.empty()) {
    Check(change.error == kInvalidNumber || change.error == kStateFormatError);
    return 0;
  }
  const char function = static_cast<char>(argument[0] & ~0x20);
  const bool list_form = argument[0] == '0' || argument[0] == '1' || function == 'T';
  std::string body = argument.substr(2);
  for (char& ch : body) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  const bool all = body == kAllPorts;
  const std::string hex = FormatStateHex(change.states);
  Check(hex.size() == kStateHexLength && ParseStateHex(hex) == (change.states & 0xFFFFFFFFu));
  for (int64_t port = 1; port <= kHubWordPorts; ++port) {
    const bool absent = port > port_count;
    if (absent && (all || !list_form)) Check(PortIsOn(change.states, port));
    if (absent && list_form && !all)
      Check(PortIsOn(change.states, port) == PortIsOn(current, port));
  }
  return 0;
}
