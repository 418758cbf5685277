// Running a parsed request: the one place that maps commands to code.
#pragma once

#include "commands/outcome.h"
#include "commands/request.h"

Outcome RunRequest(const Request& request, LineSink& out);
