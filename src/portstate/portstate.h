// The port-state word and its text forms.
//
// One unsigned 64-bit word holds the power state of a hub's ports: bit
// n-1 is port n, 1 is on. The port count (signed, as the hub reports it)
// always travels beside the word; bits above it belong to absent ports.
// Only bits 0 to 31 are ever exchanged with a hub, as the state hex
// string: the four low bytes, least significant first, each as two
// upper-case hex digits ("A6010000" is ports 2, 3, 6, 8 and 9 on).
// Everything here is a pure conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using PortStates = uint64_t;

// Ports whose state a hub can report or take.
constexpr int32_t kHubWordPorts = 32;
// Ports the word can hold.
constexpr int64_t kWordBits = 64;
constexpr size_t kStateHexLength = 8;

extern const char kOnLabel[];   // "On=", in front of the On list
extern const char kOffLabel[];  // "Off="

// True when bit port-1 of the word is set; false for ports outside 1..64.
bool PortIsOn(PortStates states, int64_t port);

// A byte as two upper-case hex digits: "A6".
std::string HexByte(uint8_t byte);

// The state hex string of the word's low four bytes.
std::string FormatStateHex(PortStates states);

// The word read from the first 8 characters of text as a state hex string
// (either case). A character that is not a hex digit counts as 0; missing
// characters count as "0".
PortStates ParseStateHex(const std::string& text);

// True when text begins with 8 hex digits.
bool IsStateHex(const std::string& text);

// Ports 1..port_count that are on, and those that are off, ascending.
struct PortLists {
  std::vector<int64_t> on;
  std::vector<int64_t> off;
};
PortLists ListPorts(PortStates states, int32_t port_count);

// A list as the hub lines show it: "1,3", or "None" when empty.
std::string FormatPortList(const std::vector<int64_t>& ports);

// port_count characters '1'/'0', port port_count first and port 1 last;
// ports above 32 show as '0'.
std::string FormatBinaryStates(PortStates states, int32_t port_count);
