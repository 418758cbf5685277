// Running a parsed request: the one place that maps commands to code.
#pragma once

#include "linksettings.h"
#include "outcome.h"
#include "request.h"

RunEnd RunRequest(const Request& request, const LinkSettings& settings,
                  LineSink& out);

// The whole of a run but its exit: parses the command line, runs it under
// settings, and writes its lines and its message, if any, to out.
RunEnd RunCommandLine(int argc, const char* const* argv,
                      const LinkSettings& settings, LineSink& out);
