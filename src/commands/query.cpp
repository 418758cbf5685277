#include "commands/query.h"

#include <cstdio>

#include "commands/hubscan.h"
#include "commands/json.h"
#include "commands/lockedhub.h"
#include "names/hubnames.h"
#include "names/stablenames.h"
#include "portstate/portstate.h"
#include "protocol/messages.h"

namespace {

const char kFoundSuffix[] = " Managed USB Hub(s) Found.";

std::string CompactScanLine(const std::vector<int32_t>& indices) {
  char count[16];
  std::snprintf(count, sizeof count, "%04d", static_cast<int>(indices.size()));
  std::string line = count + std::string(kHubNamePrefix);
  for (size_t i = 0; i < indices.size(); ++i)
    line += (i > 0 ? "," : "") + std::to_string(indices[i]);
  return line;
}

std::string HubRecord(const HubReport& hub) {
  // The count as the unsigned value a C "%02X" shows, negative ones too.
  char count[16];
  std::snprintf(count, sizeof count, "%02X",
                static_cast<unsigned>(static_cast<uint32_t>(hub.port_count)));
  // The only line that ends in CR LF.
  return FormatStateHex(hub.states) + count + ReplyText(hub.firmware) + "\r";
}

}  // namespace

std::string HubLine(const std::string& name, const HubReport& hub) {
  const PortLists lists = ListPorts(hub.states, hub.port_count);
  return name + ", " + std::to_string(hub.port_count) + " ports, " + kOnLabel +
         FormatPortList(lists.on) + ", " + kOffLabel +
         FormatPortList(lists.off) + ", FW=" + ReplyText(hub.firmware);
}

Outcome ScanForHubs(const Request& request, const LinkSettings& settings,
                    LineSink& out) {
  std::vector<FoundHub> found;
  const bool complete = ScanHubs(
      settings,
      [&](const FoundHub& hub) {
        found.push_back(hub);
        if (request.form == OutputForm::kText) {
          out.Line(HubLine(hub.name, hub.report));
          out.Flush();  // a hub line is worth seeing before the scan ends
        }
      },
      [&](Reason reason) {
        reason.passed_over = true;
        out.Explain(reason);
      });
  if (!complete) return Outcome::kScanIncomplete;
  if (request.form == OutputForm::kCompact) {
    std::vector<int32_t> indices;
    for (const FoundHub& hub : found) indices.push_back(hub.index);
    out.Line(CompactScanLine(indices));
  } else if (request.form == OutputForm::kJson) {
    // Looked up once every probe has closed its descriptors.
    std::vector<std::string> objects;
    for (const FoundHub& hub : found) {
      const auto links = StableNames(hub.device, settings.stable_name_dirs);
      if (!links)
        return OutOfDescriptors(hub.device, Outcome::kScanIncomplete, out);
      objects.push_back(HubJson(hub.name, hub.device, hub.report,
                                FirmwareField::kIncluded, *links));
    }
    out.Line(ScanJson(objects));
  } else {
    out.Line(std::to_string(found.size()) + kFoundSuffix);
  }
  return Outcome::kSuccess;
}

Outcome ShowOneHub(const Request& request, const LinkSettings& settings,
                   LineSink& out) {
  std::optional<LockedHub> hub;
  HubReport report;
  const Outcome queried =
      LockedHub::LockAndReadReport(request, settings, out, &hub, &report);
  if (queried != Outcome::kSuccess) return queried;
  if (request.form == OutputForm::kCompact) {
    out.Line(HubRecord(report));
  } else if (request.form == OutputForm::kJson) {
    // Short of descriptors, as for a device it cannot open.
    const auto links = StableNames(hub->device(), settings.stable_name_dirs);
    if (!links) return OutOfDescriptors(hub->device(), Outcome::kQueryErr, out);
    out.Line(HubJson(request.hub, hub->device(), report,
                     FirmwareField::kIncluded, *links));
  } else {
    out.Line(HubLine(request.hub, report));
  }
  return Outcome::kSuccess;
}
