#include "commands/query.h"

#include <cstdio>

#include "commands/json.h"
#include "commands/lockedhub.h"
#include "portstate/portstate.h"

const char kScanIncomplete[] = "Scan Incomplete!";

namespace {

const char kFoundSuffix[] = " Managed USB Hub(s) Found.";

// A signed count as C's "%d" writes it.
std::string Decimal(int32_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(n));
  return text;
}

std::string CompactScanLine(const std::vector<int32_t>& indices) {
  char count[16];
  std::snprintf(count, sizeof count, "%04d", static_cast<int>(indices.size()));
  std::string line = count + HubName(kScanNamePrefix);
  for (size_t i = 0; i < indices.size(); ++i)
    line += (i > 0 ? "," : "") + Decimal(indices[i]);
  return line;
}

// The firmware as text: C strings end at a NUL, and so does it here.
std::string FirmwareText(const std::string& firmware) {
  return firmware.substr(0, firmware.find('\0'));
}

std::string HubRecord(const HubReport& hub) {
  // The count as the unsigned value a C "%02X" shows, negative ones too.
  char count[16];
  std::snprintf(count, sizeof count, "%02X",
                static_cast<unsigned>(static_cast<uint32_t>(hub.port_count)));
  // The only line that ends in CR LF.
  return FormatStateHex(hub.states) + count + FirmwareText(hub.firmware) + "\r";
}

}  // namespace

std::string HubName(const std::string& device) {
  return device.substr(kDevDirLength);
}

std::string HubLine(const std::string& name, const HubReport& hub) {
  const PortLists lists = ListPorts(hub.states, hub.port_count);
  return name + ", " + Decimal(hub.port_count) + " ports, " + kOnLabel +
         FormatPortList(lists.on) + ", " + kOffLabel +
         FormatPortList(lists.off) + ", FW=" + FirmwareText(hub.firmware);
}

Outcome ScanForHubs(const Request& request, LineSink& out,
                    const ScanOptions& options) {
  std::vector<int32_t> indices;
  std::vector<std::string> objects;
  const bool complete = ScanHubs(
      [&](const FoundHub& hub) {
        indices.push_back(hub.index);
        if (request.form == OutputForm::kText) {
          out.Line(HubLine(hub.name, hub.report));
          out.Flush();  // a hub line is worth seeing before the scan ends
        }
        if (request.form == OutputForm::kJson)
          objects.push_back(HubJson(hub.name, hub.device, hub.report, true));
      },
      options);
  if (!complete) return Failure(kScanIncomplete);
  if (request.form == OutputForm::kCompact)
    return {CompactScanLine(indices), kExitSuccess};
  if (request.form == OutputForm::kJson)
    return {ScanJson(objects), kExitSuccess};
  return {Decimal(static_cast<int32_t>(indices.size())) + kFoundSuffix,
          kExitSuccess};
}

Outcome QueryOneHub(const Request& request, LineSink& out) {
  HubLock lock;
  HubReport hub;
  Outcome queried = LockAndQueryHub(request.device, &lock, &hub);
  if (!queried.Succeeded()) return queried;
  const std::string name = HubName(request.device);
  if (request.form == OutputForm::kCompact)
    out.Line(HubRecord(hub));
  else if (request.form == OutputForm::kJson)
    out.Line(HubJson(name, request.device, hub, true));
  else
    out.Line(HubLine(name, hub));
  return Success();
}
