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

#include <cstdint>
#include <string>

using PS64 = uint64_t;

// Ports whose state a hub can report or take.
constexpr int32_t kHubWordPorts = 32;

extern const char kNoPorts[];  // an empty On or Off list
extern const char kOnLabel[];  // "On=", in front of the On list
extern const char kOffLabel[];

// True when bit n-1 of the word is set; false for ports outside 1..64.
bool PortIsOn(PS64 word, int32_t port);

// The state hex string of the word's low four bytes.
void htos_PS64(PS64 PS64, std::string* ps_PS64);

// The word read from the first 8 characters of s as a state hex string
// (either case). A character that is not a hex digit counts as 0;
// missing characters count as "0".
PS64 s2hex_l(std::string s);
void stoh_PS64(std::string s, PS64* pPS64);

// True when s begins with 8 hex digits.
bool IsStateHex(std::string s);

// The On and Off lists for ports 1..nPorts: "1,3" and "2,4", "None" when
// empty.
void ParsePortStates(PS64 PS64, int32_t nPorts, std::string* pOn,
                     std::string* pOff);

// nPorts characters '1'/'0', port nPorts first and port 1 last; ports
// above 32 show as '0'.
std::string BinaryStates(PS64 word, int32_t nPorts);
