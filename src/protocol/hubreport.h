// What a hub reports of itself, read from its replies to "?Q" (the
// identification, port count and firmware version) and "GP" (the current
// port states). A command (commands/lockedhub.h) and the scan
// (commands/hubscan.h) make the exchanges and decode the replies here,
// one way for both.
#pragma once

#include <cstdint>
#include <string>

#include "portstate/portstate.h"

enum class ReportStatus {
  kOk,
  kNotAHub,   // the query reply is not a hub's
  kNoStates,  // the state reply is not a state
};

// What a hub reports of itself.
struct HubReport {
  int32_t port_count = 0;
  std::string firmware;  // 3 bytes, as received
  PortStates states = 0;
};

// Checks a query reply ("KORVEN", 4 unread bytes, 2-digit port count,
// 3-character firmware version, at least 15 characters before the line
// feed) and takes its fields into *report. kOk or kNotAHub.
ReportStatus DecodeQueryReply(const std::string& reply, HubReport* report);

// Takes the port states from a state reply that begins with 8 hex digits.
// kOk, or kNoStates leaving *report as it was.
ReportStatus DecodeStateReply(const std::string& reply, HubReport* report);
