#include "hubsetup.h"

#include <algorithm>
#include <cstdio>
#include <regex>

namespace hubsim {

namespace {

const char kDefaultPorts[] = "04";
constexpr uint32_t kDefaultStates = 0xFFFFFFFFu;
constexpr int kMostPorts = 99;
constexpr size_t kPasswordBytes = 8;
constexpr size_t kFirmwareBytes = 3;

// A name the sandbox gives a hub: ttyUSB and a number from 0 to 255,
// without leading zeros, as the kernel names USB serial devices. Written
// for the simulator, apart from tarvo's own rule, which it checks.
bool IsHubName(const std::string& name) {
  static const std::regex kHubName(
      "ttyUSB(0|[1-9][0-9]?|1[0-9][0-9]|2[0-4][0-9]|25[0-5])");
  return std::regex_match(name, kHubName);
}

// What a setting changes: the hub's record, the names it is reached by, or
// how it misbehaves.
enum class SettingKind { kRecord, kName, kFault };

struct Setting {
  SettingKind kind;
  const char* key;
  const char* value;  // nullptr for a flag
  const char* meaning;
};

const Setting kSettings[] = {
    {SettingKind::kRecord, "ports", "N", "port count, 1 to 99 (default 4)"},
    {SettingKind::kRecord, "states", "STATEHEX",
     "port states as tarvo /G -H prints them (default FFFFFFFF)"},
    {SettingKind::kRecord, "password", "P",
     "the hub's password, up to 8 bytes (default mira)"},
    {SettingKind::kRecord, "firmware", "XYZ",
     "firmware version, 3 characters (default 2.1)"},
    {SettingKind::kRecord, "id", "TEXT", "identification (default KORVEN)"},
    {SettingKind::kRecord, "flash", "STATEHEX",
     "power-on states (default 00000000)"},
    {SettingKind::kName, "by-id", "NAME",
     "a link /dev/serial/by-id/NAME to the hub"},
    {SettingKind::kName, "by-path", "NAME",
     "a link /dev/serial/by-path/NAME to the hub"},
    {SettingKind::kName, "link", "/dev/PATH",
     "a link PATH to the hub, as a udev rule makes one"},
    {SettingKind::kFault, "silent", nullptr, "never answers"},
    {SettingKind::kFault, "delay-ms", "N", "waits N ms before every reply"},
    {SettingKind::kFault, "byte-gap-ms", "N",
     "waits N ms between the bytes of a reply"},
    {SettingKind::kFault, "cut-after", "N",
     "sends only the first N bytes of every reply"},
    {SettingKind::kFault, "wire-time", nullptr,
     "keeps 9600-baud wire time, both ways"},
    {SettingKind::kFault, "latency-trace", "PATH",
     "holds each reply as an FT232 whose latency timer QEMU's trace at PATH "
     "last shows set"},
};

bool ParseCount(const std::string& text, int64_t most, int32_t* value) {
  if (text.empty() || text.size() > 9) return false;
  int64_t parsed = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
    parsed = parsed * 10 + (ch - '0');
  }
  if (parsed > most) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

// A path below /dev of named parts (no "." or "..", no "//", no trailing
// '/', no control byte) that is no hub's name.
bool IsLinkPath(const std::string& path) {
  // tarvo takes /dev/ttyUSB and anything without a '/' for a hub.
  if (path.compare(0, 5, "/dev/") != 0 || path.back() == '/' ||
      (path.compare(5, 6, "ttyUSB") == 0 &&
       path.find('/', 5) == std::string::npos))
    return false;
  for (size_t start = 5;;) {
    const size_t slash = path.find('/', start);
    const std::string part = path.substr(start, slash - start);
    for (char ch : part)
      if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) return false;
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

bool IsDeviceName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char ch : name)
    if (ch == '/' || static_cast<unsigned char>(ch) < 0x20) return false;
  return true;
}

}  // namespace

HubSetup DefaultHubSetup() {
  HubSetup setup;
  setup.config.port_count = kDefaultPorts;
  setup.config.states = kDefaultStates;
  return setup;
}

bool IsHubFlag(const std::string& key) {
  for (const Setting& setting : kSettings)
    if (key == setting.key) return setting.value == nullptr;
  return false;
}

namespace {

// The hub's own record; false for a value the setting does not take.
bool SetRecord(const std::string& key, const std::string& value,
               HubConfig* config) {
  if (key == "ports") {
    int32_t count = 0;
    if (!ParseCount(value, kMostPorts, &count) || count < 1) return false;
    char text[8];
    std::snprintf(text, sizeof text, "%02d", static_cast<int>(count));
    config->port_count = text;
  } else if (key == "states") {
    return ParseStateField(value, &config->states);
  } else if (key == "flash") {
    return ParseStateField(value, &config->flash);
  } else if (key == "password") {
    if (value.size() > kPasswordBytes) return false;
    config->password = value + std::string(kPasswordBytes - value.size(), ' ');
  } else if (key == "firmware") {
    if (value.size() != kFirmwareBytes) return false;
    config->firmware = value;
  } else {
    config->id = value;
  }
  return true;
}

// A name below /dev for the hub; the message says why one is refused.
std::string AddName(const std::string& key, const std::string& value,
                    const std::string& bad, HubSetup* setup) {
  if (key == "by-id" || key == "by-path") {
    if (!IsDeviceName(value)) return bad;
    (key == "by-id" ? setup->by_id : setup->by_path).push_back(value);
    return "";
  }
  if (value.compare(0, 11, "/dev/ttyUSB") == 0 &&
      value.find('/', 5) == std::string::npos)
    return "link=" + value +
           " is refused: /dev/ttyUSB names are the hubs' own (--hub " +
           value.substr(5) +
           "); a link is another name below /dev, such as /dev/hubs/rack3";
  if (!IsLinkPath(value)) return bad;
  setup->links.push_back(value);
  return "";
}

bool SetFault(const std::string& key, const std::string& value,
              Faults* faults) {
  if (key == "silent") faults->silent = true;
  if (key == "wire-time") faults->wire_time = true;
  if (key == "silent" || key == "wire-time") return true;
  if (key == "latency-trace") {
    faults->latency_timer_ms = LatencyTimerFromQemuTrace(value);
    return !value.empty();
  }
  int32_t count = 0;
  if (!ParseCount(value, 600000, &count)) return false;
  if (key == "delay-ms") faults->reply_delay_ms = count;
  if (key == "byte-gap-ms") faults->byte_gap_ms = count;
  if (key == "cut-after") faults->cut_after_bytes = count;
  return true;
}

}  // namespace

std::string ApplyHubSetting(const std::string& key, bool has_value,
                            const std::string& value, HubSetup* setup) {
  const Setting* found = nullptr;
  for (const Setting& setting : kSettings)
    if (key == setting.key) found = &setting;
  if (found == nullptr) return "unknown setting '" + key + "'";
  if (has_value != (found->value != nullptr))
    return found->value ? "'" + key + "' needs a value (" + found->value + ")"
                        : "'" + key + "' takes no value";
  const std::string bad =
      "bad value for " + key + ": '" + value + "' (" + found->meaning + ")";
  switch (found->kind) {
    case SettingKind::kRecord:
      return SetRecord(key, value, &setup->config) ? "" : bad;
    case SettingKind::kName: return AddName(key, value, bad, setup);
    case SettingKind::kFault:
      return SetFault(key, value, &setup->faults) ? "" : bad;
  }
  return bad;
}

std::string ParseHubSetup(const std::string& text, HubSetup* setup) {
  *setup = DefaultHubSetup();
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  const std::string head = parts[0];
  const size_t colon = head.find(':');
  setup->name = head.substr(0, colon);
  if (!IsHubName(setup->name))
    return "a hub's name is ttyUSB and a number from 0 to 255: '" +
           setup->name + "'";
  if (colon != std::string::npos) {
    const std::string rest = head.substr(colon + 1);
    const size_t second = rest.find(':');
    std::string error =
        ApplyHubSetting("ports", true, rest.substr(0, second), setup);
    if (error.empty() && second != std::string::npos)
      error = ApplyHubSetting("states", true, rest.substr(second + 1), setup);
    if (!error.empty()) return error;
  }
  for (size_t i = 1; i < parts.size(); ++i) {
    const size_t equals = parts[i].find('=');
    const std::string error = ApplyHubSetting(
        parts[i].substr(0, equals), equals != std::string::npos,
        equals == std::string::npos ? "" : parts[i].substr(equals + 1), setup);
    if (!error.empty()) return error;
  }
  return "";
}

std::string HubSettingsHelp(const std::string& key_prefix,
                            const std::string& value_separator) {
  std::string help;
  for (const Setting& setting : kSettings) {
    std::string left = "  " + key_prefix + setting.key;
    if (setting.value != nullptr) left += value_separator + setting.value;
    if (left.size() < 26) left.resize(26, ' ');
    help += left + " " + setting.meaning + "\n";
  }
  return help;
}

}  // namespace hubsim
