// Every text tarvo publishes, in one place: the messages that scripts
// match, exactly as the man page lists them under MESSAGES, and the
// reasons written to standard error, as it lists them under DIAGNOSTICS.
#pragma once

#include <string>

#include "outcome.h"
#include "reason.h"

// The line printed for outcome; "" for kSuccess.
const char* OutcomeText(Outcome outcome);

// The line written to standard error for reason, without its newline:
// "tarvo: " and what was wrong, and what to do where there is something.
// Every byte that came from a device, a file or another process is shown
// escaped (EscapedBytes()), so a reason is always one printable line.
std::string ReasonText(const Reason& reason);
