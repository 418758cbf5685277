// Finding out whether a hub answers on a device, and what it reports.
//
// ReadHubReport() makes two exchanges: "?Q" for the identification, port
// count and firmware version, then "GP" for the current port states. The
// state message is sent only to a device that identified itself as a hub.
// The decoders are apart so that the scan, which drives its exchanges
// itself, reads replies exactly as ReadHubReport() does.
#pragma once

#include <cstdint>
#include <string>

#include "link/exchange.h"
#include "portstate/portstate.h"

enum class ReportStatus {
  kOk,
  kNoAnswer,  // the query exchange failed
  kNotAHub,   // the query reply is not a hub's
  kNoStates,  // the state exchange failed or its reply is not a state
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

struct ReportResult {
  ReportStatus status = ReportStatus::kOk;
  HubReport report;
};

ReportResult ReadHubReport(const std::string& device, PortUse use);
