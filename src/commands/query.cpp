#include "commands/query.h"

#include <cstdio>

#include "commands/scan.h"
#include "dispatch.h"
#include "link/hublock.h"
#include "link/hubquery.h"
#include "portstate/portstate.h"

namespace {

const char kScanCommand[] = "/Q";
const char kCompactOption[] = "-F";
const char kFoundSuffix[] = " Managed USB Hub(s) Found.";

std::string HubLine(const std::string& portName, const HubReport& hub) {
  std::string on;
  std::string off;
  ParsePortStates(hub.word, hub.nPorts, &on, &off);
  return HubName(portName) + ", " + my_itos(hub.nPorts) + " ports, " +
         kOnLabel + on + ", " + kOffLabel + off + ", FW=" + hub.fw;
}

void ScanListing() {
  int32_t found = 0;
  ScanHubs([&](int32_t, const std::string& portName, const HubReport& hub) {
    PrintLine(HubLine(portName, hub));
    ++found;
  });
  PrintLine(my_itos(found) + kFoundSuffix);
}

void CompactScan() {
  int32_t found = 0;
  std::string indices;
  ScanHubs([&](int32_t i, const std::string&, const HubReport&) {
    if (!indices.empty()) indices += ',';
    indices += my_itos(i);
    ++found;
  });
  char count[16];
  std::snprintf(count, sizeof count, "%04d", static_cast<int>(found));
  PrintLine(count + HubName(kHubPortPrefix) + indices);
}

void QueryOne(bool compact) {
  HubLock lock;
  const HubReport hub = QueryHubForRun(&lock);
  if (!compact) {
    PrintLine(HubLine(COM_Name, hub));
    return;
  }
  std::string states;
  htos_PS64(hub.word, &states);
  // The count as the unsigned value a C "%02X" shows, negative ones too.
  char count[16];
  std::snprintf(count, sizeof count, "%02X",
                static_cast<unsigned>(static_cast<uint32_t>(hub.nPorts)));
  // The only line that ends in CR LF.
  PrintLine(states + count + hub.fw + "\r");
}

}  // namespace

std::string my_itos(int32_t n) {
  char text[64];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(n));
  return text;
}

void DoQuery() {
  const bool noOption = arg2.empty() && arg3.empty();
  const bool compact = toUpper(arg2) == kCompactOption && arg3.empty();
  if (command == kScanCommand && noOption) return ScanListing();
  if (command == kScanCommand && compact) return CompactScan();
  if (IsHubPort(COM_Name) && noOption) return QueryOne(false);
  if (IsHubPort(COM_Name) && compact) return QueryOne(true);
  DoCommandUsage();
}
