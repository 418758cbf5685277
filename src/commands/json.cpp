#include "commands/json.h"

#include "link/stablenames.h"
#include "portstate/portstate.h"

namespace {

std::string Array(const std::vector<std::string>& items) {
  std::string text = "[";
  for (const std::string& item : items) {
    if (text.size() > 1) text += ',';
    text += item;
  }
  return text + "]";
}

std::vector<std::string> Numbers(const std::vector<int64_t>& ports) {
  std::vector<std::string> items;
  for (int64_t port : ports) items.push_back(std::to_string(port));
  return items;
}

std::string Field(const char* key, const std::string& value) {
  return JsonString(key) + ":" + value;
}

}  // namespace

std::string JsonString(const std::string& bytes) {
  std::string text = "\"";
  for (char ch : bytes) {
    const unsigned char byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      text += '\\';
      text += ch;
    } else if (byte < 0x20 || byte >= 0x7F) {
      text += "\\u00" + HexByte(byte);
    } else {
      text += ch;
    }
  }
  return text + "\"";
}

std::string HubJson(const std::string& name, const std::string& device,
                    const HubReport& report, bool with_firmware,
                    const std::vector<std::string>& stable_name_dirs) {
  const PortLists lists = ListPorts(report.states, report.port_count);
  std::vector<std::string> links;
  for (const std::string& link : StableNames(device, stable_name_dirs))
    links.push_back(JsonString(link));
  std::vector<std::string> fields = {
      Field("name", JsonString(name)), Field("device", JsonString(device)),
      Field("ports", std::to_string(report.port_count))};
  if (with_firmware)
    fields.push_back(Field("firmware", JsonString(report.firmware)));
  fields.push_back(Field("states", JsonString(FormatStateHex(report.states))));
  fields.push_back(Field("on", Array(Numbers(lists.on))));
  fields.push_back(Field("off", Array(Numbers(lists.off))));
  fields.push_back(Field("links", Array(links)));
  std::string object = Array(fields);
  object.front() = '{';
  object.back() = '}';
  return object;
}

std::string ScanJson(const std::vector<std::string>& hub_objects) {
  return "{" + Field("hubs", Array(hub_objects)) + "}";
}
