#include "portstate/stateargs.h"

#include <limits>

const char kInvalidNumber[] = "Invalid Number!";
const char kMoreItems[] = "more";
const char kEndOfString[] = "end of string";

const char kFuncOff[] = "0";
const char kFuncOn[] = "1";
const char kFuncToggle[] = "T";
const char kFuncBinary[] = "B";
const char kFuncHex[] = "H";

namespace {

const char kAllPorts[] = "ALL";
constexpr size_t kBodyStart = 2;
constexpr int32_t kWordBits = 64;
constexpr size_t kHexDigits = 8;
constexpr char kHexPad = 'F';

std::string Body(const std::string& sPS) {
  return sPS.size() > kBodyStart ? sPS.substr(kBodyStart) : "";
}

// Absent ports are sent as on by the ALL, B and H forms.
PS64 WithAbsentPortsOn(PS64 word, int32_t nPorts) {
  for (int32_t bit = nPorts < 0 ? 0 : nPorts; bit < kHubWordPorts; ++bit)
    word |= PS64{1} << bit;
  return word;
}

std::string Store(PS64 word, PS64* pPS64, std::string* pcurr_PS) {
  *pPS64 = word;
  htos_PS64(word, pcurr_PS);
  return kOK;
}

bool IsHexDigit(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F');
}

}  // namespace

std::string ParseInteger(std::string s, int32_t start, int32_t* pnext,
                         int32_t* pn) {
  const int64_t limit = std::numeric_limits<int32_t>::max();
  int64_t value = 0;
  int64_t i = start;
  const int64_t length = static_cast<int64_t>(s.size());
  while (i < length) {
    char ch = s[static_cast<size_t>(i)];
    if (ch == ',') break;
    if (ch < '0' || ch > '9') return kInvalidNumber;
    value = value * 10 + (ch - '0');
    if (value > limit) value = limit;
    ++i;
  }
  *pn = static_cast<int32_t>(value);
  *pnext = static_cast<int32_t>(i + 1);
  return i < length ? kMoreItems : kEndOfString;
}

std::string Update_Port_State(std::string func, std::string sPS,
                              int32_t nPorts, PS64* pPS64,
                              std::string* pcurr_PS) {
  PS64 word = *pPS64;
  if (Body(sPS) == kAllPorts) {
    if (func == kFuncOff) word = 0;
    else if (func == kFuncOn) word = ~PS64{0};
    else if (func == kFuncToggle) word = ~word;
    else return kInvalidNumber;
    return Store(WithAbsentPortsOn(word, nPorts), pPS64, pcurr_PS);
  }

  int32_t position = static_cast<int32_t>(kBodyStart);
  std::string status;
  while (status != kEndOfString) {
    int32_t next = 0;
    int32_t n = 0;
    status = ParseInteger(sPS, position, &next, &n);
    if (status == kInvalidNumber || n == 0 || n > nPorts) return kInvalidNumber;
    // Ports 33 to 64 change bits that are never sent; ports above 64,
    // possible only on a hub reporting that many, have no bit at all.
    if (n <= kWordBits) {
      const PS64 bit = PS64{1} << (n - 1);
      if (func == kFuncOff) word &= ~bit;
      else if (func == kFuncOn) word |= bit;
      else if (func == kFuncToggle) word ^= bit;
      else return kInvalidNumber;
    }
    position = next;
  }
  return Store(word, pPS64, pcurr_PS);
}

std::string Update_Port_State_BH(std::string func, std::string sPS,
                                 int32_t nPorts, PS64* pPS64,
                                 std::string* pcurr_PS) {
  const std::string body = Body(sPS);
  if (func == kFuncBinary) {
    PS64 word = ~PS64{0};
    const int64_t length = static_cast<int64_t>(body.size());
    for (int64_t k = 0; k < length && k < nPorts; ++k) {
      char ch = body[static_cast<size_t>(length - 1 - k)];
      if (ch == '0' && k < kWordBits) word &= ~(PS64{1} << k);
      else if (ch != '0' && ch != '1') return kInvalidNumber;
    }
    return Store(word, pPS64, pcurr_PS);
  }
  if (func == kFuncHex) {
    if (body.size() > kHexDigits) return kInvalidNumber;
    for (char ch : body)
      if (!IsHexDigit(ch)) return kInvalidNumber;
    std::string padded = body;
    padded.resize(kHexDigits, kHexPad);
    PS64 word = 0;
    stoh_PS64(padded, &word);
    return Store(WithAbsentPortsOn(word, nPorts), pPS64, pcurr_PS);
  }
  return kInvalidNumber;
}
