// One command/reply exchange with a hub's controller.
//
// An exchange opens and configures the port (serialport.h), writes one
// frame, then collects the reply until a line feed arrives. The frame must
// be out within one byte wait (10.1 s on a hub's port);
// what is not out by then is discarded from the output queue, so no part
// of it reaches the hub later. Each byte of the reply is then waited for
// at most one byte wait; a reply holds at most kMaxReplyBytes bytes, the
// line feed included. The port is closed again when the exchange ends, on
// every path. The exchange never looks at what the reply says: "E01\r\n"
// is a kOk exchange.
//
// An exchange talks only to the file its hub lock pinned (locks/hublock.h): a
// port that turns out to be another file fails as a port that cannot be
// opened, before anything is written. A command that talks to one hub
// also asks its port for low latency (serialport.h); a scan does not, so
// that the devices of other programs are left exactly as found.
//
// Exchange is a step machine, so that one thread can drive many at once
// through poll() (the scan does); RunExchange() drives a single one.
#pragma once

#include <poll.h>

#include <cstdint>
#include <string>

#include "line/serialport.h"
#include "locks/hublock.h"

enum class ExchangeStatus {
  kOk,               // a reply up to its line feed
  kOpenFailed,       // the device cannot be opened, or is not the pinned file
  kConfigureFailed,  // not a terminal, or the line settings were refused
  kSendFailed,       // the frame did not go out within one byte wait
  kReadTimedOut,     // a byte of the reply did not come within one byte wait
  kReplyTooLong,     // kMaxReplyBytes bytes without a line feed
};

constexpr int32_t kMaxReplyBytes = 20;

// What the port turned out to be, where that is why the exchange failed.
enum class PortFinding {
  kNone,
  kAnotherFile,  // kOpenFailed: not the file the lock pinned
  kNotDevice,    // kConfigureFailed: a file that is no device
  kNotTerminal,  // kConfigureFailed: a device that is no terminal
  kHungUp,       // kReadTimedOut: the line hung up, before the wait ran out
};

struct ExchangeResult {
  ExchangeStatus status = ExchangeStatus::kOk;
  // Exactly the reply bytes that arrived: after kOk the whole reply with
  // its line feed, after kReadTimedOut the bytes before the wait ran out,
  // after kReplyTooLong kMaxReplyBytes bytes without a line feed.
  std::string reply;
  bool frame_started = false;       // a byte of the frame was written
  bool out_of_descriptors = false;  // the run, not the device, fell short
  // Why it failed, beyond the status: the errno of the call that failed
  // (0 when none did), what the port was found to be, and for a device
  // the user may not open, its group (DeviceGroup()).
  int32_t error = 0;
  PortFinding finding = PortFinding::kNone;
  std::string device_group;
};

// How an exchange may use its port.
struct PortUse {
  int64_t byte_wait_us = 0;  // for the frame to go out, and for each byte
  DevicePin* pin = nullptr;  // the file it may talk to; null: any
  // The calls that ask for low latency; null: the driver is not asked.
  const SerialFlagCalls* low_latency = nullptr;
  // No wait lasts past this time (MonotonicMicros()), whatever the byte
  // wait: a scan's probe that had to wait for its lock.
  int64_t end_by_us = INT64_MAX;
};

class Exchange {
 public:
  Exchange(std::string device, std::string frame, PortUse use);

  // Opens and configures the port and writes what the line takes at once.
  void Start(int64_t now_us);
  bool Finished() const { return finished_; }
  // What to poll() for, and until when.
  struct pollfd Wanted() const;
  int64_t DeadlineMicros() const { return deadline_us_; }
  // After poll(): revents for the descriptor, 0 when it timed out.
  void Advance(int16_t revents, int64_t now_us);
  const ExchangeResult& Result() const { return result_; }

 private:
  void Finish(ExchangeStatus status);
  void Send(int64_t now_us);
  void Receive(int64_t now_us);
  int64_t NextDeadline(int64_t now_us) const;

  std::string device_;
  std::string frame_;
  PortUse use_;
  SerialPort port_;
  size_t sent_ = 0;
  bool receiving_ = false;
  bool finished_ = false;
  int64_t deadline_us_ = 0;
  ExchangeResult result_;
};

ExchangeResult RunExchange(const std::string& device, const std::string& frame,
                           PortUse use);
