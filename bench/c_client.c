/* The least a client can do for tarvo's exchanges, for comparison: per
 * frame it opens the port, saves its settings, sets raw 9600 8N1, writes
 * the frame, reads the reply up to its line feed (each byte waited for at
 * most 10.1 s), puts the settings back and closes the port. No lock, no
 * checks of the reply.
 *
 *   c-client DEVICE FRAME...   (frames without their CR)
 */
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

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
  (void)close(fd);
  return status;
}

int main(int argc, char** argv) {
  for (int i = 2; i < argc; ++i)
    if (Exchange(argv[1], argv[i]) != 0) return 1;
  return 0;
}
