#include "link/serialport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

int32_t openPort(std::string comPortName) {
  // O_NONBLOCK only so that the open does not wait for a carrier.
  int32_t fd = open(comPortName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  // Blocking again: every read is preceded by a bounded wait for input.
  if (fcntl(fd, F_SETFL, 0) < 0) {
    // The open already failed for the caller; a failing close changes
    // nothing about that.
    (void)close(fd);
    return -1;
  }
  return fd;
}

namespace {

speed_t SpeedConstant(int32_t nSpeed) {
  switch (nSpeed) {
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 115200: return B115200;
    case 460800: return B460800;
    default: return B9600;
  }
}

}  // namespace

int32_t set_opt(int32_t fd, int32_t nSpeed, int32_t nBits, char nEvent,
                int32_t nStop, struct termios* poldtio) {
  if (tcgetattr(fd, poldtio) != 0) return -1;

  // Starting from all zero bytes switches off everything not named below:
  // canonical input, echo and signal characters (the hub's bytes must reach
  // us unchanged and a byte 0x03 must not raise SIGINT), CR/NL translation
  // in both directions (frames end in '\r', replies in '\n'), XON/XOFF and
  // RTS/CTS flow control (the hub's controller uses neither), and all
  // output processing.
  struct termios newtio;
  std::memset(&newtio, 0, sizeof newtio);

  // CLOCAL: the adapter's modem lines mean nothing here, so an open or a
  // read must never wait for carrier or hang up on its loss.
  newtio.c_cflag |= CLOCAL | CREAD;
  newtio.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
  if (nBits == 7) newtio.c_cflag |= CS7;
  if (nBits == 8) newtio.c_cflag |= CS8;

  switch (nEvent) {
    case 'O':
    case 'o':
      newtio.c_cflag |= PARENB | PARODD;
      newtio.c_iflag |= INPCK | ISTRIP;
      break;
    case 'E':
    case 'e':
      newtio.c_cflag |= PARENB;
      newtio.c_cflag &= ~static_cast<tcflag_t>(PARODD);
      newtio.c_iflag |= INPCK | ISTRIP;
      break;
    case 'N':
    case 'n':
      newtio.c_cflag &= ~static_cast<tcflag_t>(PARENB);
      break;
    default:
      break;
  }

  speed_t speed = SpeedConstant(nSpeed);
  if (cfsetispeed(&newtio, speed) != 0 || cfsetospeed(&newtio, speed) != 0)
    return -1;

  if (nStop == 2)
    newtio.c_cflag |= CSTOPB;
  else
    newtio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);

  // VMIN 0 and VTIME 0: read() returns at once with what is there; the
  // exchange bounds each byte wait itself with poll().
  newtio.c_cc[VTIME] = 0;
  newtio.c_cc[VMIN] = 0;

  // Bytes left over from an earlier reply, or sent unasked, must never be
  // taken for part of the next reply.
  if (tcflush(fd, TCIFLUSH) != 0) return -1;
  if (tcsetattr(fd, TCSANOW, &newtio) != 0) return -1;
  return 0;
}
