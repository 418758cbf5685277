/* The least a client can do for tarvo's exchanges, for comparison: per
 * frame it opens the port, saves its settings, sets raw 9600 8N1, writes
 * the frame, reads the reply up to its line feed (each byte waited for at
 * most 10.1 s), puts the settings back and closes the port. No lock, no
 * checks of the reply. With -l it also asks the driver for low latency
 * while the port is open, as tarvo does, and puts the flags back.
 *
 *   c-client [-l] DEVICE FRAME...   (frames without their CR)
 */
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static int low_latency = 0;

static int Exchange(const char* device, const char* frame) {
  int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return 1;
  struct termios found, raw;
  if (tcgetattr(fd, &found) != 0) return 1;
  memset(&raw, 0, sizeof raw);
  raw.c_cflag = CLOCAL | CREAD | CS8;
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  (void)tcflush(fd, TCIFLUSH);
  (void)tcsetattr(fd, TCSANOW, &raw);
  struct serial_struct flags, fast;
  int flags_read = low_latency && ioctl(fd, TIOCGSERIAL, &flags) == 0;
  if (flags_read) {
    fast = flags;
    fast.flags |= ASYNC_LOW_LATENCY;
    (void)ioctl(fd, TIOCSSERIAL, &fast);
  }
  char line[32];
  size_t length = strlen(frame);
  memcpy(line, frame, length);
  line[length++] = '\r';
  if (write(fd, line, length) != (ssize_t)length) return 1;
  int status = 1;
  for (size_t got = 0; got < 20;) {
    struct pollfd readable = {fd, POLLIN, 0};
    char byte;
    if (poll(&readable, 1, 10100) != 1 || read(fd, &byte, 1) != 1) break;
    ++got;
    if (byte == '\n') {
      status = 0;
      break;
    }
  }
  (void)tcsetattr(fd, TCSANOW, &found);
  if (flags_read) (void)ioctl(fd, TIOCSSERIAL, &flags);
  (void)close(fd);
  return status;
}

int main(int argc, char** argv) {
  int first = 1;
  if (argc > 1 && strcmp(argv[1], "-l") == 0) {
    low_latency = 1;
    first = 2;
  }
  for (int i = first + 1; i < argc; ++i)
    if (Exchange(argv[first], argv[i]) != 0) return 1;
  return 0;
}
