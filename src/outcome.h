// What a run ends with, and where its lines go on the way.
//
// A command prints nothing itself: the lines of its result (a scan's hub
// lines, as soon as each is known) go to the LineSink that main() hands
// it, and its end comes back as an Outcome: success, or which of the
// published messages to print (catalogue.h holds their texts). Why it
// failed goes to the same sink as a Reason (reason.h), as the command
// meets it, for standard error. Only main() writes to the real output
// and exits.
#pragma once

#include <cstdint>
#include <string>

#include "reason.h"

enum class Outcome {
  kSuccess,
  // The command line is wrong.
  kInvalidCommand,
  kUnknownCommand,
  // The hub query.
  kQueryErr,
  kIdErr,
  kGetPortStateErr,
  kPortBusy,
  // Passwords and states.
  kInvalidPassword,
  kPasswordError,
  kStateFormatError,
  kInvalidNumber,
  kSetPortStateError,
  kCommandError,
  // The one-message commands.
  kChangePasswordError,
  kSavePortStatesError,
  kSaveToFlashRefused,
  kRestoreDefaultError,
  kRestoreDefaultRefused,
  // The line.
  kOpenPortError,
  kSetPortOptionError,
  kSendError,
  kReadTimeout,
  kErrorParameters,
  // Scan and power cycle.
  kScanIncomplete,
  kPortsLeftOff,
};

// A run's end: its outcome and, when a deadly signal was held back during
// it (signals/deadlysignals.h), that signal, which ends the run once the
// outcome's line is out.
struct RunEnd {
  Outcome outcome = Outcome::kSuccess;
  int32_t held_signal = 0;
};

constexpr int32_t kExitSuccess = 0;
constexpr int32_t kExitFailure = 1;
// The command line itself is wrong.
constexpr int32_t kExitUsage = 2;

inline int32_t ExitStatus(Outcome outcome) {
  if (outcome == Outcome::kSuccess) return kExitSuccess;
  if (outcome == Outcome::kInvalidCommand ||
      outcome == Outcome::kUnknownCommand)
    return kExitUsage;
  return kExitFailure;
}

class LineSink {
 public:
  virtual ~LineSink() = default;
  // One line, without its newline; any byte may appear in it, NUL too.
  virtual void Line(const std::string& text) = 0;
  // Makes the lines so far visible now, not only when the run ends.
  virtual void Flush() {}
  // Why the run fails, or why a scan passed a device over.
  virtual void Explain(const Reason& reason) = 0;
};
