#include "commands/json.h"

#include "base/text.h"
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

enum class HighBytes {
  kEscaped,  // one character a byte: \u00XX
  kKept,     // stand as they are: valid UTF-8 text
};

std::string Escaped(const std::string& bytes, HighBytes high_bytes) {
  std::string text = "\"";
  for (char ch : bytes) {
    const unsigned char byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      text += '\\';
      text += ch;
    } else if (IsControlByte(ch) ||
               (byte > 0x7F && high_bytes == HighBytes::kEscaped)) {
      text += "\\u00" + HexByte(byte);
    } else {
      text += ch;
    }
  }
  return text + "\"";
}

std::string Field(const char* key, const std::string& value) {
  return JsonString(key) + ":" + value;
}

bool IsValidUtf8(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    size_t length = 1;
    // The least and most a second byte may be after this lead (RFC 3629's
    // table): no overlong form, no surrogate, nothing above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead < 0x80)
      length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF)
      length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
        return false;
    }
    i += length;
  }
  return true;
}

// Valid UTF-8 text as its own bytes.
std::string JsonText(const std::string& utf8) {
  return Escaped(utf8, HighBytes::kKept);
}

// A name of the device folder: as its own bytes where it is UTF-8 text,
// so that it reads back as the name it is; a byte a character otherwise.
std::string NameText(const std::string& name) {
  return IsValidUtf8(name) ? JsonText(name) : JsonString(name);
}

}  // namespace

std::string JsonString(const std::string& bytes) {
  return Escaped(bytes, HighBytes::kEscaped);
}

std::string HubJson(const std::string& name, const std::string& device,
                    const HubReport& report, FirmwareField firmware,
                    const std::vector<std::string>& links) {
  const PortLists lists = ListPorts(report.states, report.port_count);
  std::vector<std::string> link_items;
  for (const std::string& link : links)
    if (IsValidUtf8(link)) link_items.push_back(JsonText(link));
  std::vector<std::string> fields = {
      Field("name", NameText(name)), Field("device", NameText(device)),
      Field("ports", std::to_string(report.port_count))};
  if (firmware == FirmwareField::kIncluded)
    fields.push_back(Field("firmware", JsonString(report.firmware)));
  fields.push_back(Field("states", JsonString(FormatStateHex(report.states))));
  fields.push_back(Field("on", Array(Numbers(lists.on))));
  fields.push_back(Field("off", Array(Numbers(lists.off))));
  fields.push_back(Field("links", Array(link_items)));
  std::string object = Array(fields);
  object.front() = '{';
  object.back() = '}';
  return object;
}

std::string ScanJson(const std::vector<std::string>& hub_objects) {
  return "{" + Field("hubs", Array(hub_objects)) + "}";
}
