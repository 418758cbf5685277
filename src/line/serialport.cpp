#include "line/serialport.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "signals/deadlysignals.h"

namespace {

int GetDriverFlags(int32_t fd, struct serial_struct* flags) {
  return ioctl(fd, TIOCGSERIAL, flags);
}

int SetDriverFlags(int32_t fd, const struct serial_struct* flags) {
  return ioctl(fd, TIOCSSERIAL, flags);
}

}  // namespace

const SerialFlagCalls kDriverSerialFlags = {GetDriverFlags, SetDriverFlags};

struct termios HubLineSettings() {
  // Starting from all zero bytes switches off everything not named below:
  // canonical input, echo and signal characters (the hub's bytes must reach
  // us unchanged and a byte 0x03 must not raise SIGINT), CR/NL translation
  // in both directions (frames end in '\r', replies in '\n'), parity
  // (8N1), a second stop bit, XON/XOFF and RTS/CTS flow control (the hub's
  // controller uses neither), and all output processing.
  struct termios settings;
  std::memset(&settings, 0, sizeof settings);

  // CLOCAL: the adapter's modem lines mean nothing here, so an open or a
  // read must never wait for carrier or hang up on its loss. CREAD: without
  // it the line drops every byte the hub sends.
  settings.c_cflag = CLOCAL | CREAD | CS8;
  // Cannot fail for a speed constant.
  (void)cfsetispeed(&settings, B9600);
  (void)cfsetospeed(&settings, B9600);

  // VMIN 0 and VTIME 0: read() returns at once with what is there; the
  // exchange bounds every wait itself with poll().
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  return settings;
}

std::string DeviceGroup(const std::string& device) {
  struct stat file;
  if (stat(device.c_str(), &file) != 0) return "";
  struct group entry;
  struct group* found = nullptr;
  char buffer[4096];
  if (getgrgid_r(file.st_gid, &entry, buffer, sizeof buffer, &found) != 0 ||
      found == nullptr)
    return std::to_string(file.st_gid);
  return entry.gr_name;
}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Failed() {
  errno_ = errno;
  return false;
}

bool SerialPort::Open(const std::string& device) {
  Close();
  // O_NONBLOCK for good: the open must not wait for a carrier, and no
  // write may block past the exchange's deadline.
  const int32_t fd =
      open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  errno_ = fd < 0 ? errno : 0;
  fd_.Reset(fd);
  return fd_.valid();
}

bool SerialPort::Configure(const SerialFlagCalls* flag_calls) {
  if (tcgetattr(fd_.get(), &found_) != 0) return Failed();
  // A driver without serial flags refuses the call: nothing to change.
  if (flag_calls != nullptr && flag_calls->get(fd_.get(), &found_flags_) == 0)
    flag_calls_ = flag_calls;
  // Listed before the change, so that a signal between the two can only
  // write back what is already there.
  listed_ =
      AddRestoreEntry(fd_.get(), found_, found_flags_,
                      flag_calls_ != nullptr ? flag_calls_->set : nullptr);
  changed_ = true;
  // Bytes left over from an earlier reply, or sent unasked, must never be
  // taken for part of the next reply.
  if (tcflush(fd_.get(), TCIFLUSH) != 0) return Failed();
  const struct termios hub_line = HubLineSettings();
  if (tcsetattr(fd_.get(), TCSANOW, &hub_line) != 0) return Failed();
  if (flag_calls_ != nullptr && (found_flags_.flags & ASYNC_LOW_LATENCY) == 0) {
    struct serial_struct low_latency = found_flags_;
    low_latency.flags |= ASYNC_LOW_LATENCY;
    // Refused, the reply is only later: the exchange goes on.
    (void)flag_calls_->set(fd_.get(), &low_latency);
  }
  return true;
}

void SerialPort::Close() {
  if (!fd_.valid()) return;
  if (changed_) {
    // A device unplugged mid-exchange has no settings left to restore, so
    // a failure here leaves nothing to do but close.
    (void)tcsetattr(fd_.get(), TCSANOW, &found_);
    if (flag_calls_ != nullptr)
      (void)flag_calls_->set(fd_.get(), &found_flags_);
    changed_ = false;
  }
  flag_calls_ = nullptr;
  if (listed_) RemoveRestoreEntry(fd_.get());
  listed_ = false;
  fd_.Reset();
}
