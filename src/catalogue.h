// Every message tarvo publishes, in one place: the texts that scripts
// match, exactly as the man page lists them under MESSAGES.
#pragma once

#include "outcome.h"

// The line printed for outcome; "" for kSuccess.
const char* OutcomeText(Outcome outcome);
