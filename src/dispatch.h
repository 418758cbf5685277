// The command-line front end.
//
// A run of tarvo performs exactly one command. main() captures its
// arguments into the global slots below, normalises the command word,
// derives the hub's device path and calls one command function, which
// reads the slots itself. A command either returns (the run succeeded)
// or ends the process through RetError(), which prints its one line on
// standard output; nothing is ever written to standard error.
//
// Exit status: 0 on success and for the help screen, 2 when the command
// line itself is wrong ("Invalid Command!", "DoCommandError"), 1 for
// every other message.
#pragma once

#include <string>

extern std::string COM_Name;          // "/dev/" followed by the port part
extern std::string command;           // first argument, upper-cased
extern std::string arg2;              // second argument as typed
extern std::string arg3;              // third argument as typed
extern std::string current_password;  // password field the hub verifies
extern std::string new_password;      // password field the hub adopts

extern const char kInvalidCommand[];
extern const char kCommandError[];

// Every hub command requires COM_Name to start with this.
extern const char kHubPortPrefix[];
extern const char kDevDir[];

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Writes text and a newline to standard output and flushes it. Every line
// the program prints goes through here; text may hold any byte, NUL too.
void PrintLine(const std::string& text);

[[noreturn]] void RetError(std::string ret);
[[noreturn]] void DoCommandUsage();
[[noreturn]] void DoCommandError();

char to_upper(char ch);
char to_lower(char ch);
std::string toUpper(std::string string_to_Change);

// The hub port name for an (upper-cased) command word: "/dev/" plus the
// port part, with "tty" lower-cased; "/dev/" alone without a port part.
std::string HubPortName(std::string commandWord);

// True when COM_Name names a hub port (begins with "/dev/ttyUSB").
bool IsHubPort(std::string name);

// The device path without "/dev/", as hubs are named in output: "ttyUSB3".
std::string HubName(std::string portName);

// The exit status of a run that succeeded: a failure all the same when its
// output could not be written (a closed or full standard output), so that
// a script never takes a lost result for success.
int ExitStatusAfterOutput();

// The whole run: fills the slots from argv and dispatches.
int RunCommandLine(int argc, char** argv);
