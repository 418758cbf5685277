// The built-in help screen, shown with no argument and for /H and /?.
#pragma once

#include "outcome.h"

void WriteHelp(LineSink& out);
