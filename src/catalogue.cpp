#include "catalogue.h"

const char* OutcomeText(Outcome outcome) {
  switch (outcome) {
    case Outcome::kSuccess: return "";
    case Outcome::kInvalidCommand: return "Invalid Command!";
    case Outcome::kUnknownCommand: return "DoCommandError";
    case Outcome::kQueryErr: return "Query Err";
    case Outcome::kIdErr: return "ID Err";
    case Outcome::kGetPortStateErr: return "Get Port State Err";
    case Outcome::kPortBusy: return "Port Busy!";
    case Outcome::kInvalidPassword: return "Invalid Password!";
    case Outcome::kPasswordError: return "Password Error!";
    case Outcome::kStateFormatError: return "State Format Error!";
    case Outcome::kInvalidNumber: return "Invalid Number!";
    case Outcome::kSetPortStateError: return "Set Port State Error!";
    case Outcome::kCommandError: return "Command Error!";
    case Outcome::kChangePasswordError: return "Change Password Error!";
    case Outcome::kSavePortStatesError: return "Save Port States Error!";
    case Outcome::kSaveToFlashRefused:
      return "Error to Save Port States to Flash!";
    case Outcome::kRestoreDefaultError: return "Restore Default Error!";
    case Outcome::kRestoreDefaultRefused:
      return "Error to Restore Factory Default!";
    case Outcome::kOpenPortError: return "Open Port Error!";
    case Outcome::kSetPortOptionError: return "Set Port Option Error!";
    case Outcome::kSendError: return "Error Sending Command!";
    case Outcome::kReadTimeout: return "Read Timeout";
    case Outcome::kErrorParameters: return "Error Parameters";
    case Outcome::kScanIncomplete: return "Scan Incomplete!";
    case Outcome::kPortsLeftOff: return "Ports Left Off!";
  }
  return "";
}
