// Why a run failed, as a value.
//
// The published message on standard output says what failed, one line of
// a few fixed texts that scripts match; a Reason says why, for the person
// reading standard error: which device, what the system said, who holds
// the hub, what came back from the line. The commands fill in a Cause and
// the facts it needs, as they meet the failure; catalogue.h turns it into
// its one line. A reason never carries a password: a frame is named by its
// message code alone.
#pragma once

#include <cstdint>
#include <string>

enum class Cause {
  // The device.
  kNoDevice,          // nothing at the name, or the adapter is gone
  kPermissionDenied,  // group: the device's group
  kNotCharDevice,     // a file that is no device at all
  kNotSerialLine,     // a device that is not a terminal
  kCannotOpen,        // any other failed open: error
  kLineRefused,       // the line settings were refused: error
  kAnotherDevice,     // the name led elsewhere once the hub was locked
  kOutOfDescriptors,  // the run, not the device
  // The hub lock.
  kHeldThroughFlock,        // pid (0: not known), holder
  kHeldThroughLockFile,     // pid, holder, path: the lock file
  kUnnamedLockFile,         // path: a young lock file naming no process
  kUnreadableLockFile,      // path, error: counts as held
  kFullLockFolder,          // path: too many entries to read
  kUnsearchableLockFolder,  // path, error: said at once
  // The exchange: code is the message ("?Q").
  kSendTimedOut,  // waited_us: the frame did not go out
  kSendFailed,    // error
  kNoAnswer,      // waited_us; reply: the bytes that did come
  kHungUp,        // reply: the bytes before the line hung up
  kReplyTooLong,  // reply
  kNotAHubReply,  // reply
  kEchoDiffers,   // sent: the state hex sent; reply
  kWrongPassword,
  kRefused,  // reply
  // Checked against the hub's report.
  kPortBeyondHub,   // number, count
  kBadStates,       // the state argument's form
  kBadStateNumber,  // a port or value the hub does not have
  // Checked before any device is opened.
  kCommandLine,
  kUnknownCommand,
  kPasswordUnusable,
  kPasswordTwice,
  kCycleArgument,
  kLockWaitArgument,
};

struct Reason {
  // Out of line: a Reason is made, copied and dropped on many paths, and
  // its many strings would otherwise be built and freed inline in each.
  Reason();
  Reason(Cause cause, std::string device);
  Reason(const Reason&);
  Reason(Reason&&) noexcept;
  Reason& operator=(const Reason&);
  Reason& operator=(Reason&&) noexcept;
  ~Reason();

  Cause cause = Cause::kCommandLine;
  std::string device;        // the device concerned ("/dev/ttyUSB0"), or ""
  bool passed_over = false;  // a device a scan passed over, not the run's end
  int32_t error = 0;         // errno of the call that failed
  std::string group;         // kPermissionDenied
  int64_t pid = 0;           // the lock's holder, 0 when not known
  std::string holder;        // its name, as /proc/PID/comm gives it
  std::string path;          // a lock file or lock folder
  int64_t waited_us = 0;     // the lock wait, or the byte wait
  std::string code;          // the message code of the exchange
  std::string sent;          // kEchoDiffers: the state hex sent
  std::string reply;         // the bytes received, exactly
  int64_t number = 0;        // kPortBeyondHub: the port
  int64_t count = 0;         // kPortBeyondHub: the hub's ports
  // /C: the ports that may be off because the message to switch them
  // back on failed for this reason ("1,3"); "" otherwise.
  std::string left_off;
};
