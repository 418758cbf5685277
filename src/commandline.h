// The command line, parsed once.
//
//   tarvo /X[:ttyUSBn] [arg2] [arg3]
//
// The command word is upper-cased; its second character picks the
// command, and from its fourth character on it names the port: "/dev/"
// and the port part with "tty" in lower case (/s:ttyusb3 -> /dev/ttyUSB3).
// Everything that can be checked before a device is opened is checked
// here, in the order the messages take precedence: the command word, the
// port, the options, the passwords. A refused command line comes back as
// the Outcome to print; nothing has been opened by then.
#pragma once

#include "commands/outcome.h"
#include "commands/request.h"

extern const char kInvalidCommand[];
extern const char kUnknownCommand[];  // "DoCommandError"

struct ParsedCommandLine {
  Request request;
  Outcome refusal;  // a message when the command line is refused

  bool Refused() const { return !refusal.message.empty(); }
};

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

// "/dev/" and the port part of an upper-cased command word; "/dev/" alone
// when the word has no port part (9 characters or fewer).
std::string HubDevicePath(const std::string& command_word);
