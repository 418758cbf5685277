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

// --lock-wait=SECONDS before the command word: how long a command waits
// for a busy hub, up to a minute longer than the longest /C holds one.
const char kLockWaitOption[] = "--lock-wait=";
constexpr int64_t kLongestLockWaitMs = 660000;

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

// SECONDS as /C's time and --lock-wait take it; false above most_ms.
bool ParseSeconds(const std::string& text, int64_t most_ms, int64_t* ms) {
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
  if (value > most_ms) return false;
  *ms = value;
  return true;
}

// The options a command word takes after its hub: /Q and /Q: take -F and
// -J, /G takes -B, -H and -J.
enum class OptionSet { kQuery, kGet };

class Parser {
 public:
  Parser(int argc, const char* const* argv, const std::string& device_dir,
         const std::optional<std::string>& environment_password)
      : device_dir_(device_dir), environment_password_(environment_password) {
    if (argc >= 2) typed_word_ = argv[1];
    word_ = UpperCased(typed_word_);
    if (argc >= 3) arg2_ = argv[2];
    if (argc >= 4) arg3_ = argv[3];
  }

  ParsedCommandLine Parse(int argc);

 private:
  ParsedCommandLine Refuse(Outcome refusal, Cause cause) {
    parsed_.refusal = refusal;
    parsed_.refusal_cause = cause;
    return parsed_;
  }
  ParsedCommandLine Usage(Cause cause = Cause::kCommandLine) {
    return Refuse(Outcome::kInvalidCommand, cause);
  }
  bool NamesAHub() const { return names_a_hub_; }
  // The hub the command word names, from its fourth character on.
  void TakeHub();
  // /C's "PORTS[@SECONDS]"; false when it does not parse.
  bool TakeCycleArgument(const std::string& argument);
  // The password that stands where [password] may: typed (null when not
  // given), else the environment's, else the default; false, with the
  // refusal set, when it cannot be a field or is given both ways.
  bool TakePassword(const std::string* typed, std::string* field);
  // The one option of /Q and /G, or false for anything else.
  bool TakeOption(const std::string& option, OptionSet options);

  ParsedCommandLine Query();
  ParsedCommandLine GetStates();
  ParsedCommandLine SetStates(SetTarget target);
  ParsedCommandLine ChangePassword();
  ParsedCommandLine PasswordOnly(CommandKind command);
  ParsedCommandLine PowerCycle();

  const std::string& device_dir_;
  const std::optional<std::string>& environment_password_;
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
    default: return Refuse(Outcome::kUnknownCommand, Cause::kUnknownCommand);
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
  const bool typed = !arg3_.empty();
  if (!TakePassword(typed ? &arg2_ : nullptr, &request_.password))
    return parsed_;
  request_.state_argument = typed ? arg3_ : arg2_;
  return parsed_;
}

ParsedCommandLine Parser::ChangePassword() {
  if (!NamesAHub()) return Usage();
  request_.command = CommandKind::kChangePassword;
  const bool typed = !arg3_.empty();
  if (!TakePassword(typed ? &arg2_ : nullptr, &request_.password))
    return parsed_;
  if (!MakePasswordField(typed ? arg3_ : arg2_, &request_.new_password))
    return Refuse(Outcome::kInvalidPassword, Cause::kPasswordUnusable);
  return parsed_;
}

ParsedCommandLine Parser::PasswordOnly(CommandKind command) {
  if (!NamesAHub() || !arg3_.empty()) return Usage();
  request_.command = command;
  (void)TakePassword(arg2_.empty() ? nullptr : &arg2_, &request_.password);
  return parsed_;
}

ParsedCommandLine Parser::PowerCycle() {
  if (!NamesAHub()) return Usage();
  request_.command = CommandKind::kPowerCycle;
  const bool typed = !arg3_.empty();
  if (!TakePassword(typed ? &arg2_ : nullptr, &request_.password))
    return parsed_;
  const std::string& argument = typed ? arg3_ : arg2_;
  if (argument.empty()) return Usage();
  if (!TakeCycleArgument(argument))
    return Refuse(Outcome::kInvalidNumber, Cause::kCycleArgument);
  return parsed_;
}

bool Parser::TakePassword(const std::string* typed, std::string* field) {
  if (typed != nullptr && environment_password_) {
    Usage(Cause::kPasswordTwice);
    return false;
  }
  if (typed == nullptr && !environment_password_) {
    *field = kDefaultPassword;
    return true;
  }
  if (MakePasswordField(typed != nullptr ? *typed : *environment_password_,
                        field))
    return true;
  Refuse(Outcome::kInvalidPassword, Cause::kPasswordUnusable);
  return false;
}

bool Parser::TakeCycleArgument(const std::string& argument) {
  const size_t mark = argument.find(kSecondsMark);
  const std::string list = UpperCased(argument.substr(0, mark));
  request_.cycle_off_ms = kDefaultCycleOffMs;
  if (mark != std::string::npos &&
      !ParseSeconds(argument.substr(mark + 1), kLongestCycleOffMs,
                    &request_.cycle_off_ms))
    return false;
  request_.cycle_all_ports = list == kAllPorts;
  // Only ports the state word holds can be switched back on.
  return request_.cycle_all_ports ||
         ParsePortList(list, kHubWordPorts, &request_.cycle_ports);
}

}  // namespace

ParsedCommandLine ParseCommandLine(
    int argc, const char* const* argv, const std::string& device_dir,
    const std::optional<std::string>& environment_password) {
  std::vector<const char*> words(argv, argv + std::max(argc, 0));
  int64_t lock_wait_ms = -1;
  if (words.size() >= 2 &&
      std::string(words[1]).compare(0, sizeof kLockWaitOption - 1,
                                    kLockWaitOption) == 0) {
    if (words.size() < 3 || !ParseSeconds(words[1] + sizeof kLockWaitOption - 1,
                                          kLongestLockWaitMs, &lock_wait_ms)) {
      ParsedCommandLine refused;
      refused.refusal = Outcome::kInvalidCommand;
      refused.refusal_cause = Cause::kLockWaitArgument;
      return refused;
    }
    words.erase(words.begin() + 1);
  }
  Parser parser(static_cast<int>(words.size()), words.data(), device_dir,
                environment_password);
  ParsedCommandLine parsed = parser.Parse(static_cast<int>(words.size()));
  if (lock_wait_ms >= 0) parsed.request.lock_wait_us = lock_wait_ms * 1000;
  return parsed;
}
