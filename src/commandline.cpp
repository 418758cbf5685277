#include "commandline.h"

#include "commands/cycle.h"
#include "commands/password.h"
#include "commands/scan.h"
#include "portstate/stateargs.h"

const char kInvalidCommand[] = "Invalid Command!";
const char kUnknownCommand[] = "DoCommandError";

namespace {

const char kScanWord[] = "/Q";
const char kCompactOption[] = "-F";
const char kBinaryOption[] = "-B";
const char kHexOption[] = "-H";
const char kJsonOption[] = "-J";

// Characters 0 to 2 of the command word are '/', the letter and a
// separator that is never examined; anything longer than the bare
// "/Q:ttyUSB" carries a port part from index 3 on.
constexpr size_t kPortPartStart = 3;
constexpr size_t kLongestWithoutPort = 9;
constexpr size_t kLowerCasedPrefix = 3;  // "tty"
constexpr int kMostArguments = 3;

// A device of the hub family whose name cannot lead anywhere else: no
// '/', which could climb out of /dev, and no control byte, which could
// forge an output line.
bool IsHubDevice(const std::string& device) {
  if (device.compare(0, kScanNamePrefixLength, kScanNamePrefix) != 0)
    return false;
  for (size_t i = kDevDirLength; i < device.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(device[i]);
    if (byte == '/' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

class Parser {
 public:
  Parser(int argc, const char* const* argv) {
    if (argc >= 2) word_ = UpperCased(argv[1]);
    if (argc >= 3) arg2_ = argv[2];
    if (argc >= 4) arg3_ = argv[3];
  }

  ParsedCommandLine Parse(int argc);

 private:
  ParsedCommandLine Refuse(Outcome refusal) {
    parsed_.refusal = std::move(refusal);
    return parsed_;
  }
  ParsedCommandLine Usage() { return Refuse(UsageError(kInvalidCommand)); }
  // The one option of /Q and /G, or false for anything else.
  bool TakeOption(const std::string& option, bool allow_compact,
                  bool allow_states);

  ParsedCommandLine Query();
  ParsedCommandLine GetStates();
  ParsedCommandLine SetStates(bool keep_as_power_on);
  ParsedCommandLine ChangePassword();
  ParsedCommandLine PasswordOnly(CommandKind command);
  ParsedCommandLine PowerCycle();

  std::string word_;
  std::string arg2_;
  std::string arg3_;
  ParsedCommandLine parsed_;
  Request& request_ = parsed_.request;
};

bool Parser::TakeOption(const std::string& option, bool allow_compact,
                        bool allow_states) {
  const std::string upper = UpperCased(option);
  if (option.empty()) request_.form = OutputForm::kText;
  else if (upper == kJsonOption) request_.form = OutputForm::kJson;
  else if (allow_compact && upper == kCompactOption) request_.form = OutputForm::kCompact;
  else if (allow_states && upper == kBinaryOption) request_.form = OutputForm::kBinary;
  else if (allow_states && upper == kHexOption) request_.form = OutputForm::kHex;
  else return false;
  return true;
}

ParsedCommandLine Parser::Parse(int argc) {
  if (argc == 1) return parsed_;  // the help screen
  if (argc < 1 || argc - 1 > kMostArguments) return Usage();
  if (word_.size() < 2 || word_[0] != '/') return Usage();
  request_.device = HubDevicePath(word_);
  switch (word_[1]) {
    case 'H':
    case '?': return parsed_;
    case 'Q': return Query();
    case 'G': return GetStates();
    case 'S': return SetStates(false);
    case 'F': return SetStates(true);
    case 'P': return ChangePassword();
    case 'W': return PasswordOnly(CommandKind::kSaveStates);
    case 'D': return PasswordOnly(CommandKind::kRestoreDefaults);
    case 'R': return PasswordOnly(CommandKind::kResetHub);
    case 'C': return PowerCycle();
    default: return Refuse(UsageError(kUnknownCommand));
  }
}

ParsedCommandLine Parser::Query() {
  if (!arg3_.empty() || !TakeOption(arg2_, true, false)) return Usage();
  if (word_ == kScanWord) {
    request_.command = CommandKind::kScan;
    return parsed_;
  }
  if (!IsHubDevice(request_.device)) return Usage();
  request_.command = CommandKind::kQueryHub;
  return parsed_;
}

ParsedCommandLine Parser::GetStates() {
  if (!IsHubDevice(request_.device) || !arg3_.empty() ||
      !TakeOption(arg2_, false, true))
    return Usage();
  request_.command = CommandKind::kGetStates;
  return parsed_;
}

ParsedCommandLine Parser::SetStates(bool keep_as_power_on) {
  if (!IsHubDevice(request_.device)) return Usage();
  request_.command = CommandKind::kSetStates;
  request_.keep_as_power_on = keep_as_power_on;
  // With one argument it is the states, never tested as a password.
  if (arg3_.empty()) {
    request_.password = kDefaultPassword;
    request_.state_argument = arg2_;
    return parsed_;
  }
  if (!MakePasswordField(arg2_, &request_.password))
    return Refuse(Failure(kInvalidPassword));
  request_.state_argument = arg3_;
  return parsed_;
}

ParsedCommandLine Parser::ChangePassword() {
  if (!IsHubDevice(request_.device)) return Usage();
  request_.command = CommandKind::kChangePassword;
  if (arg3_.empty()) {
    request_.password = kDefaultPassword;
    if (!MakePasswordField(arg2_, &request_.new_password))
      return Refuse(Failure(kInvalidPassword));
    return parsed_;
  }
  if (!MakePasswordField(arg2_, &request_.password) ||
      !MakePasswordField(arg3_, &request_.new_password))
    return Refuse(Failure(kInvalidPassword));
  return parsed_;
}

ParsedCommandLine Parser::PasswordOnly(CommandKind command) {
  if (!IsHubDevice(request_.device) || !arg3_.empty()) return Usage();
  request_.command = command;
  if (arg2_.empty())
    request_.password = kDefaultPassword;
  else if (!MakePasswordField(arg2_, &request_.password))
    return Refuse(Failure(kInvalidPassword));
  return parsed_;
}

ParsedCommandLine Parser::PowerCycle() {
  if (!IsHubDevice(request_.device)) return Usage();
  request_.command = CommandKind::kPowerCycle;
  std::string argument = arg2_;
  if (arg3_.empty()) {
    request_.password = kDefaultPassword;
  } else {
    if (!MakePasswordField(arg2_, &request_.password))
      return Refuse(Failure(kInvalidPassword));
    argument = arg3_;
  }
  if (argument.empty()) return Usage();
  if (!ParseCycleArgument(argument, &request_.cycle_ports,
                          &request_.cycle_off_ms))
    return Refuse(Failure(kInvalidNumber));
  return parsed_;
}

}  // namespace

std::string HubDevicePath(const std::string& command_word) {
  std::string port;
  if (command_word.size() > kLongestWithoutPort) {
    port = UpperCased(command_word.substr(kPortPartStart));
    for (size_t i = 0; i < kLowerCasedPrefix && i < port.size(); ++i)
      if (port[i] >= 'A' && port[i] <= 'Z') port[i] = static_cast<char>(port[i] - 'A' + 'a');
  }
  return kDevDir + port;
}

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
  Parser parser(argc, argv);
  return parser.Parse(argc);
}
