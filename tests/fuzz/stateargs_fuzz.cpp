// Fuzzes the state-argument language. Input: one byte, the port count as
// a signed value; eight bytes, the hub's current states; the rest, the
// state argument as typed. Every input must end in new states or one of
// the two refusals, and the states must obey the rules of their form.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "portstate/stateargs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const int32_t port_count = static_cast<int8_t>(data[0]);
  PortStates current;
  std::memcpy(&current, data + 1, sizeof current);
  const std::string argument(reinterpret_cast<const char*>(data + 9), size - 9);
  const StateChange change = ApplyStateArgument(argument, port_count, current);
  if (change.status != StateArgStatus::kApplied) return 0;
  // Absent ports: on for ALL, B and H, as they were for port lists.
  const bool list =
      argument[0] == '0' || argument[0] == '1' || (argument[0] | 0x20) == 't';
  // A list form that applied names ports by digits, or is ALL.
  const bool all = argument.size() > 2 && (argument[2] | 0x20) == 'a';
  for (int64_t port = port_count < 0 ? 1 : port_count + 1;
       port <= kHubWordPorts; ++port) {
    const bool expected = list && !all ? PortIsOn(current, port) : true;
    if (PortIsOn(change.states, port) != expected) std::abort();
  }
  return 0;
}
