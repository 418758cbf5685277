// The state-argument language of the set commands.
//
// A state argument is a function letter, a separator that is never
// examined, and a body; letters may come in either case:
//
//   1:3,4   ports 3 and 4 on        0:ALL   every port off
//   0:3     port 3 off              T:ALL   every port inverted
//   T:1,2   ports 1 and 2 inverted  B:0101  binary, the last digit port 1
//   H:A601  hex bytes, least significant first, padded with 'F'
//
// List forms start from the hub's current states and keep every bit they
// do not name; ALL, B and H set every absent port (bits port_count to 31)
// on. A port list names ports 1 to the port count, separated by commas,
// duplicates allowed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "portstate/portstate.h"

extern const char kAllPorts[];  // "ALL"

enum class StateArgStatus {
  kApplied,
  kBadFunction,  // no function letter and separator
  kBadNumber,    // a port, binary digit or hex digit that does not fit
};

struct StateChange {
  StateArgStatus status = StateArgStatus::kApplied;
  PortStates states = 0;
};

StateChange ApplyStateArgument(const std::string& argument, int32_t port_count,
                               PortStates current);

// The ports a list body names ("1,3,3"; ALL is not a list), in order and
// with duplicates, into *ports; false when an item is empty, not decimal,
// 0 or above port_count.
bool ParsePortList(const std::string& body, int32_t port_count,
                   std::vector<int64_t>* ports);

// The ports as bits; ports above 64 have none.
PortStates PortBits(const std::vector<int64_t>& ports);

// Every port from 1 to port_count, as bits.
PortStates AllPorts(int32_t port_count);
