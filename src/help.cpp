#include "help.h"

#include <string>

namespace {

// The version the help screen's first line gives.
const char kVersion[] = "1.02";

// The published screen, a line of the source for a line of the screen.
// clang-format off
const char* const kHelpLines[] = {
    "tarvo v1.02 for Linux/ARM",
    "Usage: tarvo command [password] [argument]",
    "command:",
    "   /Q       query (no password is required)",
    "   Usage:   tarvo /Q [option]",
    "            tarvo /Q:ttyUSBn [option]",
    "   /Q:      query all Managed USB Hubs",
    "   /Q:ttyUSBn  query the Managed USB Hub on ttyUSBn (n = 1 to 255)",
    "   option   -F    output in formatted string",
    "",
    "   /S       set port states (password is required)",
    "   Usage:   tarvo /S:ttyUSBn [pass] [states]",
    "   ttyUSBn     control port number of the Managed USB Hub (n = 1 to 255)",
    "   pass     password, default is used if this argument is not specified",
    "   states   port states to be set on, off, toggle or given binary/hex states",
    "            1:3,4    port 3 and 4 on",
    "            0:3      port 3 off",
    "            T:1,2    toggle port 1 and 2 states",
    "            0:ALL    all ports off",
    "            B:0101   binary, port 1 and 3 on, port 2, 4 off",
    "            H:A601   byte hex (little-endian A6 01 ...):",
    "                     port 2, 3, 6, 8, 9 on, the others off",
    "",
    "   /F       set port states and save to flash as the initial states",
    "   Usage:   similar to set port states (/S)",
    "",
    "   /P       change password (8 characters maximum)",
    "   Usage:   tarvo /P:ttyUSBn [old_password] new_password",
    "   ttyUSBn     control port number of the Managed USB Hub (n = 1 to 255)",
    "   old_password   old password, default assumed if omitted ",
    "   new_password   new password",
    "",
    "   /G       get current port states (no password is required)",
    "   Usage:   tarvo /G:ttyUSBn [option]",
    "   /G:ttyUSBn  control port number of the Managed USB Hub (n = 1 to 255)",
    "   option   -B    output in formatted binary string",
    "            -H    output in formatted little-endian hex string",
    "",
    "   /W       save states to flash as the initial states (password is required)",
    "   Usage:   tarvo /W:ttyUSBn [pass]",
    "",
    "   /D       restore to factory default settings (password is required)",
    "   Usage:   tarvo /D:ttyUSBn [pass]",
    "",
    "   /R       reset the entire Managed USB Hub (password is required)",
    "   Usage:   tarvo /R:ttyUSBn [pass]",
    "",
    "Example: To control port 3 of the hub, follow the steps below:",
    "tarvo /Q  (auto serach all the hubs connected)",
    "tarvo /S:ttyUSB0 0:3  (turn OFF port 3, assumed ttyUSB0 is found by the /Q command)",
    "tarvo /S:ttyUSB0 1:3  (turn ON port 3)",
    "",
};
// clang-format on

}  // namespace

void WriteHelp(LineSink& out) {
  for (const char* line : kHelpLines) out.Line(line);
}

void WriteVersion(LineSink& out) { out.Line(std::string("tarvo ") + kVersion); }
