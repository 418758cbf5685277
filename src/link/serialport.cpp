#include "link/serialport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "link/signals.h"

namespace {

speed_t SpeedConstant(int32_t baud) {
  switch (baud) {
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 115200: return B115200;
    case 460800: return B460800;
    default: return B9600;
  }
}

}  // namespace

struct termios RawLineSettings(int32_t baud, int32_t data_bits, char parity,
                               int32_t stop_bits) {
  // Starting from all zero bytes switches off everything not named below:
  // canonical input, echo and signal characters (the hub's bytes must reach
  // us unchanged and a byte 0x03 must not raise SIGINT), CR/NL translation
  // in both directions (frames end in '\r', replies in '\n'), XON/XOFF and
  // RTS/CTS flow control (the hub's controller uses neither), and all
  // output processing.
  struct termios settings;
  std::memset(&settings, 0, sizeof settings);

  // CLOCAL: the adapter's modem lines mean nothing here, so an open or a
  // read must never wait for carrier or hang up on its loss. CREAD: without
  // it the line drops every byte the hub sends.
  settings.c_cflag = CLOCAL | CREAD;
  if (data_bits == 7) settings.c_cflag |= CS7;
  if (data_bits == 8) settings.c_cflag |= CS8;

  switch (parity) {
    case 'O':
    case 'o':
      settings.c_cflag |= PARENB | PARODD;
      // With parity on, a byte that fails the check must not pass as data,
      // and the parity bit must not reach the reply.
      settings.c_iflag |= INPCK | ISTRIP;
      break;
    case 'E':
    case 'e':
      settings.c_cflag |= PARENB;
      settings.c_iflag |= INPCK | ISTRIP;
      break;
    default:
      break;
  }
  if (stop_bits == 2) settings.c_cflag |= CSTOPB;

  const speed_t speed = SpeedConstant(baud);
  // Both cannot fail for a speed constant taken from the table above.
  (void)cfsetispeed(&settings, speed);
  (void)cfsetospeed(&settings, speed);

  // VMIN 0 and VTIME 0: read() returns at once with what is there; the
  // exchange bounds every wait itself with poll().
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  return settings;
}

SerialPort::~SerialPort() { Close(); }

SerialPort::SerialPort(SerialPort&& other) noexcept { *this = std::move(other); }

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
  if (this == &other) return *this;
  Close();
  fd_ = std::exchange(other.fd_, -1);
  open_errno_ = other.open_errno_;
  changed_ = std::exchange(other.changed_, false);
  listed_ = std::exchange(other.listed_, false);
  found_ = other.found_;
  return *this;
}

bool SerialPort::Open(const std::string& device) {
  Close();
  // O_NONBLOCK for good: the open must not wait for a carrier, and no
  // write may block past the exchange's deadline.
  fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  open_errno_ = fd_ < 0 ? errno : 0;
  return fd_ >= 0;
}

bool SerialPort::Configure() {
  if (tcgetattr(fd_, &found_) != 0) return false;
  const struct termios hub_line =
      RawLineSettings(kHubBaud, kHubDataBits, kHubParity, kHubStopBits);
  // Listed before the change, so that a signal between the two can only
  // write back what is already there.
  listed_ = AddRestoreEntry(fd_, found_);
  changed_ = true;
  // Bytes left over from an earlier reply, or sent unasked, must never be
  // taken for part of the next reply.
  if (tcflush(fd_, TCIFLUSH) != 0) return false;
  return tcsetattr(fd_, TCSANOW, &hub_line) == 0;
}

void SerialPort::Close() {
  if (fd_ < 0) return;
  if (changed_) {
    // A device unplugged mid-exchange has no settings left to restore, so
    // a failure here leaves nothing to do but close.
    (void)tcsetattr(fd_, TCSANOW, &found_);
    changed_ = false;
  }
  if (listed_) RemoveRestoreEntry(fd_);
  listed_ = false;
  // Linux frees the descriptor even when close() reports an error.
  (void)close(fd_);
  fd_ = -1;
}
