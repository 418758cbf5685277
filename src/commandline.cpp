#include "commandline.h"

#include "base/text.h"
#include "names/hubnames.h"
#include "portstate/portstate.h"
#include "portstate/stateargs.h"
#include "protocol/messages.h"

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
const char kHelpOption[] = "--help";
const char kShortHelpOption[] = "-h";
const char kVersionOption[] = "--version";

// /C's off time: "PORTS[@SECONDS]", SECONDS decimal with up to 3 decimals.
constexpr char kSecondsMark = '@';
constexpr size_t kMostDecimals = 3;
constexpr size_t kMostWholeDigits = 3;
constexpr int64_t kDefaultCycleOffMs = 2000;
constexpr int64_t kLongestCycleOffMs = 600000;

// The hub name in an upper-cased command word: its port part with "tty"
// in lower case; "" when the word has none (9 characters or fewer).
std::string HubName(const std::string& word) {
  if (word.size() <= kLongestWithoutPort) return "";
  std::string name = word.substr(kPortPartStart);
  for (size_t i = 0; i < kLowerCasedPrefix && i < name.size(); ++i)
    if (name[i] >= 'A' && name[i] <= 'Z')
      name[i] = static_cast<char>(name[i] - 'A' + 'a');
  return name;
}

bool ParseSeconds(const std::string& text, int64_t* ms) {
  const size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string decimals =
      point == std::string::npos ? "" : text.substr(point + 1);
  if (whole.empty() || whole.size() > kMostWholeDigits ||
      decimals.size() > kMostDecimals ||
      (point != std::string::npos && decimals.empty()))
    return false;
  int64_t value = 0;
  const std::string digits =
      whole + decimals + std::string(kMostDecimals - decimals.size(), '0');
  for (char ch : digits) {
    if (ch < '0' || ch > '9') return false;
    value = value * 10 + (ch - '0');
  }
  if (value > kLongestCycleOffMs) return false;
  *ms = value;
  return true;
}

// The options a command word takes after its hub: /Q and /Q: take -F and
// -J, /G takes -B, -H and -J.
enum class OptionSet { kQuery, kGet };

class Parser {
 public:
  Parser(int argc, const char* const* argv, const std::string& device_dir)
      : device_dir_(device_dir) {
    if (argc >= 2) typed_word_ = argv[1];
    word_ = UpperCased(typed_word_);
    if (argc >= 3) arg2_ = argv[2];
    if (argc >= 4) arg3_ = argv[3];
  }

  ParsedCommandLine Parse(int argc);

 private:
  ParsedCommandLine Refuse(Outcome refusal) {
    parsed_.refusal = refusal;
    return parsed_;
  }
  ParsedCommandLine Usage() { return Refuse(Outcome::kInvalidCommand); }
  bool NamesAHub() const { return names_a_hub_; }
  // The hub the command word names, from its fourth character on.
  void TakeHub();
  // /C's "PORTS[@SECONDS]"; false when it does not parse.
  bool TakeCycleArgument(const std::string& argument);
  // The one option of /Q and /G, or false for anything else.
  bool TakeOption(const std::string& option, OptionSet options);

  ParsedCommandLine Query();
  ParsedCommandLine GetStates();
  ParsedCommandLine SetStates(SetTarget target);
  ParsedCommandLine ChangePassword();
  ParsedCommandLine PasswordOnly(CommandKind command);
  ParsedCommandLine PowerCycle();

  const std::string& device_dir_;
  std::string typed_word_;
  std::string word_;  // upper-cased
  bool names_a_hub_ = false;
  std::string arg2_;
  std::string arg3_;
  ParsedCommandLine parsed_;
  Request& request_ = parsed_.request;
};

void Parser::TakeHub() {
  if (typed_word_.size() > kPortPartStart &&
      typed_word_[kPortPartStart] == '/') {
    request_.typed_path = typed_word_.substr(kPortPartStart);
    const HubPath path = ResolveHubPath(request_.typed_path, device_dir_);
    names_a_hub_ = path.status != HubPathStatus::kRefused;
    request_.hub = path.name;
    request_.lock_file_names = path.lock_file_names;
    return;
  }
  request_.hub = HubName(word_);
  names_a_hub_ = IsHubName(request_.hub);
  if (!names_a_hub_) return;
  // The name keeps its meaning; the names it leads to mark it too.
  request_.lock_file_names = {request_.hub};
  for (const std::string& name :
       ResolveHubPath(HubDevice(device_dir_, request_.hub), device_dir_)
           .lock_file_names)
    if (name != request_.hub) request_.lock_file_names.push_back(name);
}

bool Parser::TakeOption(const std::string& option, OptionSet options) {
  const std::string upper = UpperCased(option);
  if (option.empty())
    request_.form = OutputForm::kText;
  else if (upper == kJsonOption)
    request_.form = OutputForm::kJson;
  else if (options == OptionSet::kQuery && upper == kCompactOption)
    request_.form = OutputForm::kCompact;
  else if (options == OptionSet::kGet && upper == kBinaryOption)
    request_.form = OutputForm::kBinary;
  else if (options == OptionSet::kGet && upper == kHexOption)
    request_.form = OutputForm::kHex;
  else
    return false;
  return true;
}

ParsedCommandLine Parser::Parse(int argc) {
  if (argc == 1) return parsed_;  // the help screen
  if (argc < 1 || argc - 1 > kMostArguments) return Usage();
  // The usual words of a program, as typed, beside the command words.
  if (typed_word_ == kHelpOption || typed_word_ == kShortHelpOption)
    return parsed_;
  if (typed_word_ == kVersionOption) {
    request_.command = CommandKind::kVersion;
    return parsed_;
  }
  if (word_.size() < 2 || word_[0] != '/') return Usage();
  TakeHub();
  switch (word_[1]) {
    case 'H':
    case '?': return parsed_;
    case 'Q': return Query();
    case 'G': return GetStates();
    case 'S': return SetStates(SetTarget::kCurrentStates);
    case 'F': return SetStates(SetTarget::kCurrentAndPowerOnStates);
    case 'P': return ChangePassword();
    case 'W': return PasswordOnly(CommandKind::kSaveStates);
    case 'D': return PasswordOnly(CommandKind::kRestoreDefaults);
    case 'R': return PasswordOnly(CommandKind::kResetHub);
    case 'C': return PowerCycle();
    default: return Refuse(Outcome::kUnknownCommand);
  }
}

ParsedCommandLine Parser::Query() {
  if (!arg3_.empty() || !TakeOption(arg2_, OptionSet::kQuery)) return Usage();
  if (word_ == kScanWord) {
    request_.command = CommandKind::kScan;
    return parsed_;
  }
  if (!NamesAHub()) return Usage();
  request_.command = CommandKind::kShowOneHub;
  return parsed_;
}

ParsedCommandLine Parser::GetStates() {
  if (!NamesAHub() || !arg3_.empty() || !TakeOption(arg2_, OptionSet::kGet))
    return Usage();
  request_.command = CommandKind::kGetStates;
  return parsed_;
}

ParsedCommandLine Parser::SetStates(SetTarget target) {
  if (!NamesAHub()) return Usage();
  request_.command = CommandKind::kSetStates;
  request_.set_target = target;
  // With one argument it is the states, never tested as a password.
  if (arg3_.empty()) {
    request_.password = kDefaultPassword;
    request_.state_argument = arg2_;
    return parsed_;
  }
  if (!MakePasswordField(arg2_, &request_.password))
    return Refuse(Outcome::kInvalidPassword);
  request_.state_argument = arg3_;
  return parsed_;
}

ParsedCommandLine Parser::ChangePassword() {
  if (!NamesAHub()) return Usage();
  request_.command = CommandKind::kChangePassword;
  if (arg3_.empty()) {
    request_.password = kDefaultPassword;
    if (!MakePasswordField(arg2_, &request_.new_password))
      return Refuse(Outcome::kInvalidPassword);
    return parsed_;
  }
  if (!MakePasswordField(arg2_, &request_.password) ||
      !MakePasswordField(arg3_, &request_.new_password))
    return Refuse(Outcome::kInvalidPassword);
  return parsed_;
}

ParsedCommandLine Parser::PasswordOnly(CommandKind command) {
  if (!NamesAHub() || !arg3_.empty()) return Usage();
  request_.command = command;
  if (arg2_.empty())
    request_.password = kDefaultPassword;
  else if (!MakePasswordField(arg2_, &request_.password))
    return Refuse(Outcome::kInvalidPassword);
  return parsed_;
}

ParsedCommandLine Parser::PowerCycle() {
  if (!NamesAHub()) return Usage();
  request_.command = CommandKind::kPowerCycle;
  std::string argument = arg2_;
  if (arg3_.empty()) {
    request_.password = kDefaultPassword;
  } else {
    if (!MakePasswordField(arg2_, &request_.password))
      return Refuse(Outcome::kInvalidPassword);
    argument = arg3_;
  }
  if (argument.empty()) return Usage();
  if (!TakeCycleArgument(argument)) return Refuse(Outcome::kInvalidNumber);
  return parsed_;
}

bool Parser::TakeCycleArgument(const std::string& argument) {
  const size_t mark = argument.find(kSecondsMark);
  const std::string list = UpperCased(argument.substr(0, mark));
  request_.cycle_off_ms = kDefaultCycleOffMs;
  if (mark != std::string::npos &&
      !ParseSeconds(argument.substr(mark + 1), &request_.cycle_off_ms))
    return false;
  request_.cycle_all_ports = list == kAllPorts;
  // Only ports the state word holds can be switched back on.
  return request_.cycle_all_ports ||
         ParsePortList(list, kHubWordPorts, &request_.cycle_ports);
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv,
                                   const std::string& device_dir) {
  Parser parser(argc, argv, device_dir);
  return parser.Parse(argc);
}
