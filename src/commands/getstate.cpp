#include "commands/getstate.h"

#include <cstdint>
#include <string>

#include "dispatch.h"
#include "link/hublock.h"
#include "portstate/portstate.h"

namespace {

const char kBinaryOption[] = "-B";
const char kHexOption[] = "-H";

enum class Form { kLists, kBinary, kHex };

}  // namespace

void DoGetPortState() {
  Form form;
  const std::string option = toUpper(arg2);
  if (!IsHubPort(COM_Name) || !arg3.empty()) DoCommandUsage();
  if (arg2.empty())
    form = Form::kLists;
  else if (option == kBinaryOption)
    form = Form::kBinary;
  else if (option == kHexOption)
    form = Form::kHex;
  else
    DoCommandUsage();

  HubLock lock;
  const HubReport hub = QueryHubForRun(&lock);

  std::string line;
  switch (form) {
    case Form::kLists: {
      std::string on;
      std::string off;
      ParsePortStates(hub.word, hub.nPorts, &on, &off);
      line = kOnLabel + on + " " + kOffLabel + off;
      break;
    }
    case Form::kBinary:
      line = BinaryStates(hub.word, hub.nPorts);
      break;
    case Form::kHex:
      htos_PS64(hub.word, &line);
      break;
  }
  PrintLine(line);
}
