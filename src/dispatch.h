// Running a parsed request: the one place that maps commands to code.
#pragma once

#include "link/linksettings.h"
#include "outcome.h"
#include "request.h"

RunEnd RunRequest(const Request& request, const LinkSettings& settings,
                  LineSink& out);
