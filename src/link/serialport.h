// A hub's serial control port, open for one exchange.
//
// The port is opened read-write, never as the controlling terminal, and
// stays non-blocking for its whole life: every write and every read is
// preceded by a poll() with a deadline (exchange.h), so no call on it can
// wait longer than the exchange allows. Configure() puts the line into raw
// 9600 8N1 and remembers the settings it found; the destructor writes them
// back before it closes the descriptor, so a device that a scan probes and
// that turns out not to be a hub (a modem, a console) is left as its own
// program set it. While the line is changed, the port is also listed for
// the deadly-signal restore (signals.h).
#pragma once

#include <termios.h>

#include <cstdint>
#include <string>

// The line every hub speaks.
constexpr int32_t kHubBaud = 9600;
constexpr int32_t kHubDataBits = 8;
constexpr char kHubParity = 'N';
constexpr int32_t kHubStopBits = 1;

// The raw-mode settings for the given speed, data bits, parity letter
// ('N', 'E', 'O', either case) and stop bits. Unsupported values fall back
// to 9600 baud, 5-bit characters (for a size other than 7 or 8), no parity
// and one stop bit. Every termios choice of the program is made here.
struct termios RawLineSettings(int32_t baud, int32_t data_bits, char parity,
                               int32_t stop_bits);

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(SerialPort&& other) noexcept;
  SerialPort& operator=(SerialPort&& other) noexcept;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens device; false with OpenErrno() set when it cannot be opened.
  bool Open(const std::string& device);
  // Discards pending input and sets the hub's line. False when the device
  // is not a terminal or refuses the settings.
  bool Configure();

  int32_t fd() const { return fd_; }
  // The errno of a failed Open(); EMFILE and ENFILE say that the run, not
  // the device, is short of something.
  int32_t OpenErrno() const { return open_errno_; }

 private:
  void Close();

  int32_t fd_ = -1;
  int32_t open_errno_ = 0;
  bool changed_ = false;  // the line carries our settings
  bool listed_ = false;   // listed for the deadly-signal restore
  struct termios found_ = {};
};
