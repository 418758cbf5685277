#include "dispatch.h"

#include <cstdio>
#include <cstdlib>

#include "commands/flash.h"
#include "commands/getstate.h"
#include "commands/password.h"
#include "commands/query.h"
#include "commands/setstate.h"
#include "help.h"
#include "link/exchange.h"
#include "link/messages.h"

std::string COM_Name;
std::string command;
std::string arg2;
std::string arg3;
std::string current_password;
std::string new_password;

const char kInvalidCommand[] = "Invalid Command!";
const char kCommandError[] = "DoCommandError";
const char kHubPortPrefix[] = "/dev/ttyUSB";
const char kDevDir[] = "/dev/";

namespace {

// Characters 0 to 2 of the command word are '/', the letter and a
// separator that is never examined; anything longer than the bare
// "/Q:ttyUSB" carries a port part from index 3 on.
constexpr size_t kPortPartStart = 3;
constexpr size_t kLongestWithoutPort = 9;
constexpr size_t kLowerCasedPrefix = 3;  // "tty"

constexpr int kMaxUserArguments = 3;

}  // namespace

void PrintLine(const std::string& text) {
  // A failed write leaves the stream's error flag set, which
  // ExitStatusAfterOutput() turns into a failure.
  if (fwrite(text.data(), 1, text.size(), stdout) == text.size())
    (void)fputc('\n', stdout);
  (void)fflush(stdout);
}

[[noreturn]] void RetError(std::string ret) {
  PrintLine(ret);
  int status = kExitFailure;
  if (ret == kInvalidCommand || ret == kCommandError) status = kExitUsage;
  std::exit(status);
}

[[noreturn]] void DoCommandUsage() { RetError(kInvalidCommand); }

[[noreturn]] void DoCommandError() { RetError(kCommandError); }

char to_upper(char ch) {
  if (ch >= 'a' && ch <= 'z') return static_cast<char>(ch - 'a' + 'A');
  return ch;
}

char to_lower(char ch) {
  if (ch >= 'A' && ch <= 'Z') return static_cast<char>(ch - 'A' + 'a');
  return ch;
}

std::string toUpper(std::string string_to_Change) {
  for (char& ch : string_to_Change) ch = to_upper(ch);
  return string_to_Change;
}

std::string HubPortName(std::string commandWord) {
  std::string port;
  if (commandWord.size() > kLongestWithoutPort) {
    port = toUpper(commandWord.substr(kPortPartStart));
    for (size_t i = 0; i < kLowerCasedPrefix && i < port.size(); ++i)
      port[i] = to_lower(port[i]);
  }
  return kDevDir + port;
}

bool IsHubPort(std::string name) {
  return name.compare(0, sizeof kHubPortPrefix - 1, kHubPortPrefix) == 0;
}

std::string HubName(std::string portName) {
  return portName.substr(sizeof kDevDir - 1);
}

int ExitStatusAfterOutput() {
  return fflush(stdout) == 0 && !ferror(stdout) ? kExitSuccess : kExitFailure;
}

int RunCommandLine(int argc, char** argv) {
  if (argc == 1) DoShowHelp();
  if (argc < 1 || argc - 1 > kMaxUserArguments) DoCommandUsage();
  command = argv[1];
  if (argc > 2) arg2 = argv[2];
  if (argc > 3) arg3 = argv[3];

  command = toUpper(command);
  if (command[0] != '/') DoCommandUsage();
  if (command.size() < 2) DoCommandUsage();
  COM_Name = HubPortName(command);
  RestorePortsOnDeadlySignals();

  switch (command[1]) {
    case 'Q': DoQuery(); break;
    case 'S': DoSetPortState(kSetCode); break;
    case 'F': DoSetPortState(kSetFlashCode); break;
    case 'P': DoChangePassword(); break;
    case 'G': DoGetPortState(); break;
    case 'W': DoSavePortState(); break;
    case 'D': DoRestoreDefault(); break;
    case 'R': DoResetHub(); break;
    case 'H':
    case '?': DoShowHelp();
    default: DoCommandError();
  }
  return ExitStatusAfterOutput();
}
