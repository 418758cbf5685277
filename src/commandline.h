// The command line, parsed once.
//
//   tarvo [--lock-wait=SECONDS] /X[:ttyUSBn] [arg2] [arg3]
//   tarvo --help | -h | --version
//
// The command word is upper-cased; its second character picks the
// command, and from its fourth character on it names the hub, with "tty"
// in lower case (/s:ttyusb3 -> ttyUSB3), or by a path in the device
// folder taken exactly as typed (/G:/dev/serial/by-id/usb-FTDI_...), which
// is worked out here to the hub it leads to (names/hubnames.h). A password
// from the environment (TARVO_PASSWORD) stands where the optional password
// argument may; given both ways, the command line is refused. Everything
// that can be checked before a device is opened is checked here, in the
// order the messages take precedence: the command word, the hub name, the
// options, the passwords, /C's ports and time. A refused command line comes
// back as the Outcome to print and its Cause; nothing has been opened by
// then.
#pragma once

#include <optional>
#include <string>

#include "outcome.h"
#include "reason.h"
#include "request.h"

struct ParsedCommandLine {
  Request request;
  Outcome refusal = Outcome::kSuccess;        // the message of a refusal
  Cause refusal_cause = Cause::kCommandLine;  // and what was wrong

  bool Refused() const { return refusal != Outcome::kSuccess; }
};

// device_dir is the device folder of the run's settings ("/dev/");
// environment_password is TARVO_PASSWORD's value, when it has one.
ParsedCommandLine ParseCommandLine(
    int argc, const char* const* argv, const std::string& device_dir,
    const std::optional<std::string>& environment_password);
