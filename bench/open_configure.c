/* What one open and configure of a port costs, as tarvo does it for each
 * exchange: open, read the settings, flush input, set raw 9600 8N1, put
 * the settings back, close. Prints microseconds per cycle.
 *
 *   open-configure DEVICE CYCLES
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const long cycles = atol(argv[2]);
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (long i = 0; i < cycles; ++i) {
    int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return 1;
    struct termios found, raw;
    if (tcgetattr(fd, &found) != 0) return 1;
    memset(&raw, 0, sizeof raw);
    raw.c_cflag = CLOCAL | CREAD | CS8;
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    if (tcflush(fd, TCIFLUSH) != 0 || tcsetattr(fd, TCSANOW, &raw) != 0 ||
        tcsetattr(fd, TCSANOW, &found) != 0 || close(fd) != 0)
      return 1;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double us =
      (end.tv_sec - start.tv_sec) * 1e6 + (end.tv_nsec - start.tv_nsec) / 1e3;
  printf("%.0f\n", us / cycles);
  return 0;
}
