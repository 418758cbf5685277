#include "catalogue.h"

#include <cerrno>
#include <cstring>

#include "base/text.h"
#include "locks/hublock.h"

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

namespace {

const char kProgramName[] = "tarvo";

// The text of each cause, its facts in braces: {device} and the like take
// the Reason's field, escaped; {code} and {reply} come quoted; {error} is
// the system's text for the errno; {waited} the lock wait and what to do
// about it; {byte_wait} the byte wait in seconds.
const char* Template(const Reason& r) {
  switch (r.cause) {
    case Cause::kNoDevice:
      return "no such device; is the hub plugged in, and is the name right?";
    case Cause::kPermissionDenied:
      if (r.group.empty()) return "permission denied";
      return "permission denied; the device belongs to group {group}: add "
             "the user to it (usermod -aG {group} USER) and log in again";
    case Cause::kNotCharDevice:
      return "not a device, so not a hub's serial port";
    case Cause::kNotSerialLine:
      return "not a serial line, so not a hub's serial port";
    case Cause::kCannotOpen: return "cannot be opened: {error}";
    case Cause::kLineRefused:
      if (r.error == EIO || r.error == ENODEV)
        return "refused the line settings (9600 8N1): {error}; is the "
               "adapter still plugged in?";
      return "refused the line settings (9600 8N1): {error}";
    case Cause::kAnotherDevice:
      return "the name led to another device once the hub was locked; "
             "nothing was sent";
    case Cause::kOutOfDescriptors:
      return "the run is out of file descriptors, so nothing was sent "
             "(ulimit -n shows the limit)";
    case Cause::kHeldThroughFlock:
      return "held by {holder} through flock{waited}";
    case Cause::kHeldThroughLockFile:
      return "held by {holder} through the lock file {path}{waited}";
    case Cause::kUnnamedLockFile:
      return "held through the lock file {path}, which names no process "
             "yet{waited}";
    case Cause::kUnreadableLockFile:
      if (r.error == 0)
        return "the lock file {path} is not a regular file, so the hub "
               "counts as held{waited}";
      return "the lock file {path} cannot be read ({error}), so the hub "
             "counts as held{waited}";
    case Cause::kFullLockFolder:
      return "the lock folder {path} holds more than {entries} entries, so "
             "the hub counts as held{waited}";
    case Cause::kUnsearchableLockFolder:
      return "cannot look in the lock folder {path} ({error}), so the hub "
             "counts as held; nothing was sent, and no wait would change "
             "that";
    case Cause::kSendTimedOut:
      return "the {code} message did not go out within {byte_wait}; is the "
             "line stopped by flow control?";
    case Cause::kSendFailed:
      if (r.error == EIO || r.error == ENODEV)
        return "sending the {code} message failed: {error}; is the adapter "
               "still plugged in?";
      return "sending the {code} message failed: {error}";
    case Cause::kNoAnswer:
      if (r.reply.empty()) return "no answer to {code} within {byte_wait}";
      return "the answer to {code} stopped after {reply}, with no byte more "
             "within {byte_wait}";
    case Cause::kHungUp:
      if (r.reply.empty())
        return "the line hung up while waiting for the answer to {code}";
      return "the line hung up while waiting for the answer to {code}, after "
             "{reply}";
    case Cause::kReplyTooLong:
      return "the answer to {code} runs past {reply_length} bytes without a "
             "line feed: {reply}";
    case Cause::kNotAHubReply:
      return "the answer to {code} is not a hub's: {reply}";
    case Cause::kEchoDiffers:
      return "the states sent were {sent}, and the hub echoed {reply}";
    case Cause::kWrongPassword:
      return "the hub refused the password; give the hub's own as the "
             "password argument or in TARVO_PASSWORD";
    case Cause::kRefused: return "the hub refused the {code} message: {reply}";
    case Cause::kPortBeyondHub:
      return "port {number} is beyond the hub's {count} ports";
    case Cause::kBadStates:
      return "the states argument is none of the forms that tarvo -h lists";
    case Cause::kBadStateNumber:
      return "the states argument names a port beyond the hub's {count} "
             "ports, or a digit the form lacks";
    case Cause::kCommandLine:
      return "the command line is none of the forms that tarvo -h lists";
    case Cause::kUnknownCommand:
      return "no such command; tarvo -h lists the commands";
    case Cause::kPasswordUnusable:
      return "a password is at most 8 bytes, none of them a control byte";
    case Cause::kPasswordTwice:
      return "a password is given both on the command line and in "
             "TARVO_PASSWORD; give it one way";
    case Cause::kCycleArgument:
      return "the ports to cycle are ALL or ports 1 to 32, and the time at "
             "most 600 s: PORTS[@SECONDS]";
    case Cause::kLockWaitArgument:
      return "--lock-wait=SECONDS takes 0 to 660 seconds, and comes before "
             "the command";
  }
  return "";
}

// 10100000 -> "10.1 s", to the nearest tenth.
void AppendSeconds(int64_t micros, std::string* text) {
  const int64_t tenths = (micros + 50000) / 100000;
  *text += std::to_string(tenths / 10);
  *text += '.';
  *text += std::to_string(tenths % 10);
  *text += " s";
}

void AppendQuoted(const std::string& bytes, std::string* text) {
  *text += '"';
  *text += EscapedBytes(bytes);
  *text += '"';
}

void AppendFact(const std::string& name, const Reason& r, std::string* text) {
  if (name == "group") {
    *text += EscapedBytes(r.group);
  } else if (name == "error") {
    *text += std::strerror(r.error);
  } else if (name == "holder") {
    if (r.pid == 0) {
      *text += "another process";
      return;
    }
    *text += "process " + std::to_string(r.pid);
    if (!r.holder.empty()) *text += " (" + EscapedBytes(r.holder) + ")";
  } else if (name == "path") {
    *text += EscapedBytes(r.path);
  } else if (name == "waited") {
    *text += "; waited ";
    AppendSeconds(r.waited_us, text);
    *text += " (--lock-wait=SECONDS waits longer)";
  } else if (name == "entries") {
    *text += std::to_string(kMostLockFolderEntries);
  } else if (name == "code") {
    AppendQuoted(r.code, text);
  } else if (name == "byte_wait") {
    AppendSeconds(r.waited_us, text);
  } else if (name == "reply") {
    AppendQuoted(r.reply, text);
  } else if (name == "reply_length") {
    *text += std::to_string(r.reply.size());
  } else if (name == "sent") {
    *text += EscapedBytes(r.sent);
  } else if (name == "number") {
    *text += std::to_string(r.number);
  } else if (name == "count") {
    *text += std::to_string(r.count);
  }
}

}  // namespace

std::string ReasonText(const Reason& reason) {
  std::string text = kProgramName;
  text += ": ";
  if (reason.passed_over) text += "scan passed over ";
  if (!reason.device.empty()) {
    text += EscapedBytes(reason.device);
    text += ": ";
  }
  if (!reason.left_off.empty()) {
    text += "ports ";
    text += reason.left_off;
    text += " may be left off; switching them back on failed: ";
  }
  for (const char* at = Template(reason); *at != '\0'; ++at) {
    const char* end = *at == '{' ? std::strchr(at, '}') : nullptr;
    if (end == nullptr) {
      text += *at;
      continue;
    }
    AppendFact(std::string(at + 1, end), reason, &text);
    at = end;
  }
  return text;
}
