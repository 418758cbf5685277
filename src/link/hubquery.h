// Finding out whether a hub answers on a device, and what it reports.
//
// QueryHub() makes two exchanges: "?Q" for the identification, port count
// and firmware version, then "GP" for the current port states. The state
// message is sent only to a device that identified itself as a hub.
#pragma once

#include <cstdint>
#include <string>

#include "status.h"

#include "portstate/portstate.h"

extern const char kQueryErr[];
extern const char kIdErr[];
extern const char kGetPortStateErr[];

// What a hub reports of itself.
struct HubReport {
  int32_t nPorts = 0;
  std::string fw;
  PS64 word = 0;
};

// Checks a query reply ("KORVEN", 4 unread bytes, 2-digit port count,
// 3-character firmware version, at least 15 characters before the line
// feed) and takes its fields. Returns kOK or kIdErr; the outputs are
// written only for kOK.
std::string DecodeQueryReply(std::string reply, int32_t* nPorts,
                             std::string* pFW);

// Takes the port-state word from a state reply that begins with 8 hex
// digits. Returns kOK, or kGetPortStateErr without writing *nPS64.
std::string DecodeStateReply(std::string reply, PS64* nPS64);

// Returns kOK, kQueryErr (the query exchange failed), kIdErr or
// kGetPortStateErr (the state exchange failed or its reply is not a
// state). After kGetPortStateErr *nPorts and *pFW are already written.
std::string QueryHub(std::string COM_Name, int32_t* nPorts, std::string* pFW,
                     PS64* nPS64);
