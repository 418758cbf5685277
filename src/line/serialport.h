// A hub's serial control port, open for one exchange.
//
// The port is opened read-write, never as the controlling terminal, and
// stays non-blocking for its whole life: a write or a read that would
// wait returns at once, and the exchange waits in poll() with a deadline
// (exchange.h), so no call on it can wait longer than the exchange allows.
// Configure() puts the line into raw 9600 8N1 and remembers the settings it
// found; the destructor writes them back before it closes the descriptor, so a
// device that a scan probes and that turns out not to be a hub (a modem, a
// console) is left as its own program set it. While the line is changed, the
// port is also listed for the deadly-signal restore
// (signals/deadlysignals.h).
//
// Most USB-serial adapters hold received bytes until a latency timer runs
// out (16 ms on FTDI's by default), which would delay every reply. A port
// configured with low latency asks the driver to pass bytes on at once
// (ASYNC_LOW_LATENCY, a flag any user may change) and puts the old flags
// back with the line settings. Drivers without the flags (pseudo-terminals
// among them) refuse the calls, and nothing changes.
#pragma once

#include <linux/serial.h>
#include <termios.h>

#include <cstdint>
#include <string>

#include "base/uniquefd.h"

// Raw 9600 8N1, the line every hub speaks. Every termios choice of the
// program is made here.
struct termios HubLineSettings();

// The name of the group that owns device, for a user it refuses: its
// number when the group has no name, "" when device cannot be looked at.
std::string DeviceGroup(const std::string& device);

// The driver calls on a port's serial flags (TIOCGSERIAL, TIOCSSERIAL),
// apart so that a test can stand in for a driver that has them.
struct SerialFlagCalls {
  int (*get)(int32_t fd, struct serial_struct* flags);
  int (*set)(int32_t fd, const struct serial_struct* flags);
};
extern const SerialFlagCalls kDriverSerialFlags;

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens device; false with Errno() set when it cannot be opened.
  bool Open(const std::string& device);
  // Discards pending input and sets the hub's line, with low latency
  // asked for through flag_calls when it is not null. False, with Errno()
  // set, when the device is not a terminal or refuses the line settings.
  bool Configure(const SerialFlagCalls* flag_calls);

  int32_t fd() const { return fd_.get(); }
  // The errno of the failed Open() or Configure() (IsOutOfDescriptors()
  // tells the run's shortage from the device's failure).
  int32_t Errno() const { return errno_; }

  // Writes back what Configure() found, then closes the descriptor.
  void Close();

 private:
  bool Failed();  // keeps errno for Errno()

  UniqueFd fd_;
  int32_t errno_ = 0;
  bool changed_ = false;  // the line carries our settings
  bool listed_ = false;   // listed for the deadly-signal restore
  struct termios found_ = {};
  // Set when the flags were read: how to write them back.
  const SerialFlagCalls* flag_calls_ = nullptr;
  struct serial_struct found_flags_ = {};
};
