#include "portstate/stateargs.h"

#include "base/text.h"

const char kAllPorts[] = "ALL";

namespace {

constexpr char kFunctionOff = '0';
constexpr char kFunctionOn = '1';
constexpr char kFunctionToggle = 'T';
constexpr char kFunctionBinary = 'B';
constexpr char kFunctionHex = 'H';

// A function letter and a separator: a lone letter must not switch every
// port on by accident.
constexpr size_t kBodyStart = 2;
constexpr char kHexPad = 'F';

PortStates Bit(int64_t port) { return PortStates{1} << (port - 1); }

// Absent ports are sent as on by the ALL, B and H forms.
PortStates WithAbsentPortsOn(PortStates states, int32_t port_count) {
  for (int64_t port = port_count < 0 ? 1 : int64_t{port_count} + 1;
       port <= kHubWordPorts; ++port)
    states |= Bit(port);
  return states;
}

StateChange Changed(PortStates states) {
  return {StateArgStatus::kApplied, states};
}
StateChange Refused(StateArgStatus status) { return {status, 0}; }

StateChange ApplyList(char function, const std::string& body,
                      int32_t port_count, PortStates current) {
  if (body == kAllPorts) {
    PortStates states = current;
    if (function == kFunctionOff) states = 0;
    if (function == kFunctionOn) states = ~PortStates{0};
    if (function == kFunctionToggle) states = ~current;
    return Changed(WithAbsentPortsOn(states, port_count));
  }
  std::vector<int64_t> named;
  if (!ParsePortList(body, port_count, &named))
    return Refused(StateArgStatus::kBadNumber);
  // Item by item: a port toggled twice ends as it was.
  PortStates states = current;
  for (int64_t port : named) {
    const PortStates bit = PortBits({port});
    if (function == kFunctionOff) states &= ~bit;
    if (function == kFunctionOn) states |= bit;
    if (function == kFunctionToggle) states ^= bit;
  }
  return Changed(states);
}

StateChange ApplyBinary(const std::string& body, int32_t port_count) {
  PortStates states = ~PortStates{0};
  const int64_t length = static_cast<int64_t>(body.size());
  // Digits beyond the port count, at the front, are never looked at.
  for (int64_t k = 0; k < length && k < port_count; ++k) {
    const char ch = body[static_cast<size_t>(length - 1 - k)];
    if (ch != '0' && ch != '1') return Refused(StateArgStatus::kBadNumber);
    if (ch == '0' && k < kWordBits) states &= ~Bit(k + 1);
  }
  return Changed(states);
}

StateChange ApplyHex(const std::string& body, int32_t port_count) {
  if (body.size() > kStateHexLength) return Refused(StateArgStatus::kBadNumber);
  for (char ch : body)
    if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F')))
      return Refused(StateArgStatus::kBadNumber);
  std::string padded = body;
  padded.resize(kStateHexLength, kHexPad);
  return Changed(WithAbsentPortsOn(ParseStateHex(padded), port_count));
}

}  // namespace

bool ParsePortList(const std::string& body, int32_t port_count,
                   std::vector<int64_t>* ports) {
  std::vector<int64_t> named;
  size_t start = 0;
  for (;;) {
    const size_t comma = body.find(',', start);
    const size_t end = comma == std::string::npos ? body.size() : comma;
    if (end == start) return false;
    int64_t port = 0;
    for (size_t i = start; i < end; ++i) {
      if (body[i] < '0' || body[i] > '9') return false;
      // Held just past any port count, so that it cannot overflow.
      if (port <= INT32_MAX) port = port * 10 + (body[i] - '0');
    }
    if (port == 0 || port > port_count) return false;
    named.push_back(port);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  *ports = std::move(named);
  return true;
}

PortStates PortBits(const std::vector<int64_t>& ports) {
  PortStates bits = 0;
  for (int64_t port : ports)
    if (port >= 1 && port <= kWordBits) bits |= Bit(port);
  return bits;
}

PortStates AllPorts(int32_t port_count) {
  PortStates ports = 0;
  for (int64_t port = 1; port <= port_count && port <= kWordBits; ++port)
    ports |= Bit(port);
  return ports;
}

StateChange ApplyStateArgument(const std::string& argument, int32_t port_count,
                               PortStates current) {
  const std::string upper = UpperCased(argument);
  if (upper.size() < kBodyStart) return Refused(StateArgStatus::kBadFunction);
  const std::string body = upper.substr(kBodyStart);
  switch (upper[0]) {
    case kFunctionOff:
    case kFunctionOn:
    case kFunctionToggle: return ApplyList(upper[0], body, port_count, current);
    case kFunctionBinary: return ApplyBinary(body, port_count);
    case kFunctionHex: return ApplyHex(body, port_count);
    default: return Refused(StateArgStatus::kBadFunction);
  }
}
