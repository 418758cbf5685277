#include "portstate/portstate.h"

const char kOnLabel[] = "On=";
const char kOffLabel[] = "Off=";

namespace {

const char kNoPorts[] = "None";
const char kHexDigits[] = "0123456789ABCDEF";
constexpr int32_t kHexBytes = 4;

int32_t HexValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

}  // namespace

bool PortIsOn(PortStates states, int64_t port) {
  if (port < 1 || port > kWordBits) return false;
  return ((states >> (port - 1)) & 1u) != 0;
}

std::string HexByte(uint8_t byte) {
  return {kHexDigits[byte >> 4], kHexDigits[byte & 0xFu]};
}

std::string FormatStateHex(PortStates states) {
  std::string text;
  for (int32_t i = 0; i < kHexBytes; ++i)
    text += HexByte(static_cast<uint8_t>((states >> (8 * i)) & 0xFFu));
  return text;
}

PortStates ParseStateHex(const std::string& text) {
  std::string digits = text.substr(0, kStateHexLength);
  digits.resize(kStateHexLength, '0');
  PortStates states = 0;
  for (int32_t i = 0; i < kHexBytes; ++i) {
    int32_t high = HexValue(digits[2 * i]);
    int32_t low = HexValue(digits[2 * i + 1]);
    if (high < 0) high = 0;
    if (low < 0) low = 0;
    states |= static_cast<PortStates>(high * 16 + low) << (8 * i);
  }
  return states;
}

bool IsStateHex(const std::string& text) {
  if (text.size() < kStateHexLength) return false;
  for (size_t i = 0; i < kStateHexLength; ++i)
    if (HexValue(text[i]) < 0) return false;
  return true;
}

PortLists ListPorts(PortStates states, int32_t port_count) {
  PortLists lists;
  // 64-bit counter: the loop must end even for a count of INT32_MAX.
  for (int64_t port = 1; port <= port_count; ++port)
    (PortIsOn(states, port) ? lists.on : lists.off).push_back(port);
  return lists;
}

std::string FormatPortList(const std::vector<int64_t>& ports) {
  if (ports.empty()) return kNoPorts;
  std::string text;
  for (int64_t port : ports) {
    if (!text.empty()) text += ',';
    text += std::to_string(port);
  }
  return text;
}

std::string FormatBinaryStates(PortStates states, int32_t port_count) {
  std::string bits;
  for (int64_t port = port_count; port >= 1; --port)
    bits += (port <= kHubWordPorts && PortIsOn(states, port)) ? '1' : '0';
  return bits;
}
