// The built-in help screen, shown with no argument and for /H, /?,
// --help and -h; and the version, for --version.
#pragma once

#include "outcome.h"

void WriteHelp(LineSink& out);
// "tarvo 1.02": the version alone.
void WriteVersion(LineSink& out);
