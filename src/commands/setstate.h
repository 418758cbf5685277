// /S and /F: switch ports on, off or over.
//
//   tarvo /S:ttyUSBn [pass] states    e.g. 1:3,4  0:ALL  T:1  B:0101  H:A601
//   tarvo /F:ttyUSBn [pass] states    the same, also kept as power-on states
//
// The hub is queried first (port count and current states), the new
// states are computed from the state argument (stateargs.h) and sent in
// one set message; the hub must echo them back exactly. Prints nothing on
// success.
#pragma once

#include <string>

// sp_command is the message code: "SP" for /S, "FP" for /F.
void DoSetPortState(std::string sp_command);

// Sends a finished set message and checks the hub's echo of curr_PS.
void SetPortState_PIC(std::string PIC_command, std::string curr_PS);
