// /P, /W, /D and /R: one password-protected message each.
//
//   tarvo /P:ttyUSBn [old] new   change the hub password
//   tarvo /W:ttyUSBn [pass]      keep the current states as power-on states
//   tarvo /D:ttyUSBn [pass]      restore the factory defaults
//   tarvo /R:ttyUSBn [pass]      reset the hub
//
// Each prints nothing on success. A hub that resets may not answer, so /R
// reports only what it can know: that the message could not be sent, or
// that the hub refused the password.
#pragma once

#include "linksettings.h"
#include "outcome.h"
#include "request.h"

Outcome SendOneMessage(const Request& request, const LinkSettings& settings,
                       LineSink& out);
