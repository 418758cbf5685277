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
const char kLongerWait[] = " (--lock-wait=SECONDS waits longer)";

std::string Quoted(const std::string& bytes) {
  return "\"" + EscapedBytes(bytes) + "\"";
}

// 10100000 -> "10.1 s", to the nearest tenth.
std::string Seconds(int64_t micros) {
  const int64_t tenths = (micros + 50000) / 100000;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

std::string SystemSays(int32_t error) { return std::strerror(error); }

std::string Holder(const Reason& reason) {
  if (reason.pid == 0) return "another process";
  std::string holder = "process " + std::to_string(reason.pid);
  if (!reason.holder.empty())
    holder += " (" + EscapedBytes(reason.holder) + ")";
  return holder;
}

std::string Waited(const Reason& reason) {
  return "; waited " + Seconds(reason.waited_us) + kLongerWait;
}

std::string Body(const Reason& r) {
  const std::string answer = "the answer to " + Quoted(r.code);
  switch (r.cause) {
    case Cause::kNoDevice:
      return "no such device; is the hub plugged in, and is the name right?";
    case Cause::kPermissionDenied:
      if (r.group.empty()) return "permission denied";
      return "permission denied; the device belongs to group " +
             EscapedBytes(r.group) + ": add the user to it (usermod -aG " +
             EscapedBytes(r.group) + " USER) and log in again";
    case Cause::kNotCharDevice:
      return "not a device, so not a hub's serial port";
    case Cause::kNotSerialLine:
      return "not a serial line, so not a hub's serial port";
    case Cause::kCannotOpen: return "cannot be opened: " + SystemSays(r.error);
    case Cause::kLineRefused:
      return "refused the line settings (9600 8N1): " + SystemSays(r.error);
    case Cause::kAnotherDevice:
      return "the name led to another device once the hub was locked; "
             "nothing was sent";
    case Cause::kOutOfDescriptors:
      return "the run is out of file descriptors, so nothing was sent "
             "(ulimit -n shows the limit)";
    case Cause::kHeldThroughFlock:
      return "held by " + Holder(r) + " through flock" + Waited(r);
    case Cause::kHeldThroughLockFile:
      return "held by " + Holder(r) + " through the lock file " +
             EscapedBytes(r.path) + Waited(r);
    case Cause::kUnnamedLockFile:
      return "held through the lock file " + EscapedBytes(r.path) +
             ", which names no process yet" + Waited(r);
    case Cause::kUnreadableLockFile:
      return "the lock file " + EscapedBytes(r.path) +
             (r.error == 0 ? " is not a regular file"
                           : " cannot be read (" + SystemSays(r.error) + ")") +
             ", so the hub counts as held" + Waited(r);
    case Cause::kFullLockFolder:
      return "the lock folder " + EscapedBytes(r.path) + " holds more than " +
             std::to_string(kMostLockFolderEntries) +
             " entries, so the hub counts as held" + Waited(r);
    case Cause::kUnsearchableLockFolder:
      return "cannot look in the lock folder " + EscapedBytes(r.path) + " (" +
             SystemSays(r.error) +
             "), so the hub counts as held; nothing was sent, and no wait "
             "would change that";
    case Cause::kSendTimedOut:
      return "the " + Quoted(r.code) + " message did not go out within " +
             Seconds(r.waited_us) + "; is the line stopped by flow control?";
    case Cause::kSendFailed:
      return "sending the " + Quoted(r.code) +
             " message failed: " + SystemSays(r.error) +
             (r.error == EIO || r.error == ENODEV
                  ? "; is the adapter still plugged in?"
                  : "");
    case Cause::kNoAnswer:
      if (r.reply.empty())
        return "no answer to " + Quoted(r.code) + " within " +
               Seconds(r.waited_us);
      return answer + " stopped after " + Quoted(r.reply) +
             ", with no byte more within " + Seconds(r.waited_us);
    case Cause::kHungUp:
      return "the line hung up while waiting for " + answer +
             (r.reply.empty() ? "" : ", after " + Quoted(r.reply));
    case Cause::kReplyTooLong:
      return answer + " runs past " + std::to_string(r.reply.size()) +
             " bytes without a line feed: " + Quoted(r.reply);
    case Cause::kNotAHubReply:
      return answer + " is not a hub's: " + Quoted(r.reply);
    case Cause::kEchoDiffers:
      return "the states sent were " + EscapedBytes(r.sent) +
             ", and the hub echoed " + Quoted(r.reply);
    case Cause::kWrongPassword:
      return "the hub refused the password; give the hub's own as the "
             "password argument or in TARVO_PASSWORD";
    case Cause::kRefused:
      return "the hub refused the " + Quoted(r.code) +
             " message: " + Quoted(r.reply);
    case Cause::kPortBeyondHub:
      return "port " + std::to_string(r.number) + " is beyond the hub's " +
             std::to_string(r.count) + " ports";
    case Cause::kBadStates:
      return "the states argument is none of the forms that tarvo -h lists";
    case Cause::kBadStateNumber:
      return "the states argument names a port beyond the hub's " +
             std::to_string(r.count) + " ports, or a digit the form lacks";
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

}  // namespace

std::string ReasonText(const Reason& reason) {
  std::string text = std::string(kProgramName) + ": ";
  if (reason.passed_over) text += "scan passed over ";
  if (!reason.device.empty()) text += EscapedBytes(reason.device) + ": ";
  text += Body(reason);
  if (!reason.left_off.empty())
    text += "; ports " + reason.left_off + " may be left off";
  return text;
}
