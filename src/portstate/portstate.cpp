#include "portstate/portstate.h"

#include <cstdio>

const char kNoPorts[] = "None";
const char kOnLabel[] = "On=";
const char kOffLabel[] = "Off=";

namespace {

constexpr int32_t kWordBits = 64;
constexpr int32_t kHexBytes = 4;

int32_t HexValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

}  // namespace

bool PortIsOn(PS64 word, int32_t port) {
  if (port < 1 || port > kWordBits) return false;
  return (word >> (port - 1)) & 1u;
}

void htos_PS64(PS64 PS64, std::string* ps_PS64) {
  char text[2 * kHexBytes + 1];
  for (int32_t i = 0; i < kHexBytes; ++i) {
    unsigned byte = static_cast<unsigned>((PS64 >> (8 * i)) & 0xFFu);
    std::snprintf(text + 2 * i, 3, "%02X", byte);
  }
  *ps_PS64 = std::string(text, 2 * kHexBytes);
}

PS64 s2hex_l(std::string s) {
  s.resize(2 * kHexBytes, '0');
  PS64 word = 0;
  for (int32_t i = 0; i < kHexBytes; ++i) {
    int32_t high = HexValue(s[2 * i]);
    int32_t low = HexValue(s[2 * i + 1]);
    if (high < 0) high = 0;
    if (low < 0) low = 0;
    word |= static_cast<PS64>(high * 16 + low) << (8 * i);
  }
  return word;
}

void stoh_PS64(std::string s, PS64* pPS64) { *pPS64 = s2hex_l(s); }

bool IsStateHex(std::string s) {
  if (s.size() < 2 * kHexBytes) return false;
  for (int32_t i = 0; i < 2 * kHexBytes; ++i)
    if (HexValue(s[i]) < 0) return false;
  return true;
}

void ParsePortStates(PS64 PS64, int32_t nPorts, std::string* pOn,
                     std::string* pOff) {
  std::string on;
  std::string off;
  // 64-bit counter: the loop must end even for a count of INT32_MAX.
  for (int64_t n = 1; n <= nPorts; ++n) {
    std::string& list = PortIsOn(PS64, static_cast<int32_t>(n)) ? on : off;
    if (!list.empty()) list += ',';
    list += std::to_string(n);
  }
  *pOn = on.empty() ? kNoPorts : on;
  *pOff = off.empty() ? kNoPorts : off;
}

std::string BinaryStates(PS64 word, int32_t nPorts) {
  std::string bits;
  for (int32_t n = nPorts; n >= 1; --n)
    bits += (n <= kHubWordPorts && PortIsOn(word, n)) ? '1' : '0';
  return bits;
}
