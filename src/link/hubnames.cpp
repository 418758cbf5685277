#include "link/hubnames.h"

std::string ScanName(int32_t index) {
  return kHubNamePrefix + std::to_string(index);
}

bool IsHubName(const std::string& name) {
  if (name.compare(0, sizeof kHubNamePrefix - 1, kHubNamePrefix) != 0)
    return false;
  for (char ch : name) {
    const unsigned char byte = static_cast<unsigned char>(ch);
    if (byte == '/' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

std::string HubDevice(const std::string& device_dir, const std::string& name) {
  return device_dir + name;
}
