// Fuzzes the state-argument language. Input: one byte, the port count as
// a signed value; eight bytes, the hub's current word; the rest, the state
// argument as typed (upper-cased here, as the set command does). Every
// input must end in a new word or "Invalid Number!", and the word must
// obey the rules of its form.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dispatch.h"
#include "portstate/stateargs.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsUpperHex(const std::string& s) {
  if (s.size() != 8) return false;
  for (char ch : s)
    if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'))) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const int32_t nPorts = static_cast<int8_t>(data[0]);
  PS64 current;
  std::memcpy(&current, data + 1, sizeof current);
  const std::string sPS =
      toUpper(std::string(reinterpret_cast<const char*>(data + 9), size - 9));
  if (sPS.size() < 2) return 0;

  const std::string func(1, sPS[0]);
  const bool listForm = func == "0" || func == "1" || func == "T";
  const bool bhForm = func == "B" || func == "H";
  if (!listForm && !bhForm) return 0;

  PS64 word = current;
  std::string hex = "unset";
  const std::string status =
      listForm ? Update_Port_State(func, sPS, nPorts, &word, &hex)
               : Update_Port_State_BH(func, sPS, nPorts, &word, &hex);
  if (status != kOK) {
    Check(status == kInvalidNumber);
    Check(word == current && hex == "unset");
    return 0;
  }
  Check(IsUpperHex(hex));
  std::string expected;
  htos_PS64(word, &expected);
  Check(hex == expected);

  const bool all = sPS.substr(2) == "ALL";
  for (int32_t bit = 0; bit < kHubWordPorts; ++bit) {
    const bool on = (word >> bit) & 1u;
    const bool absent = bit >= nPorts;
    if (absent && (all || bhForm)) Check(on);
    if (absent && listForm && !all) Check(on == (((current >> bit) & 1u) != 0));
  }
  return 0;
}
