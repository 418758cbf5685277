// Running a parsed request: the one place that maps commands to code.
#pragma once

#include <optional>
#include <string>

#include "linksettings.h"
#include "outcome.h"
#include "request.h"

// Runs the request under settings, with its own lock wait when it has one.
RunEnd RunRequest(const Request& request, const LinkSettings& settings,
                  LineSink& out);

// The whole of a run but its exit: parses the command line (with
// TARVO_PASSWORD's value, when it has one), runs it under settings, and
// writes its lines, its reasons and its message, if any, to out.
RunEnd RunCommandLine(int argc, const char* const* argv,
                      const std::optional<std::string>& environment_password,
                      const LinkSettings& settings, LineSink& out);
