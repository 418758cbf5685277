#include "base/clock.h"

#include <poll.h>

#include <cerrno>
#include <ctime>

int64_t MonotonicMicros() {
  struct timespec ts;
  // Cannot fail for CLOCK_MONOTONIC on Linux; were it to, every deadline
  // would lie in the past and every wait end at once.
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int32_t PollTimeoutMs(int64_t deadline_us, int64_t now_us) {
  const int64_t left_us = deadline_us - now_us;
  if (left_us <= 0) return 0;
  // Rounded up, so that a wait never ends before its deadline.
  const int64_t left_ms = (left_us + 999) / 1000;
  return left_ms > INT32_MAX ? INT32_MAX : static_cast<int32_t>(left_ms);
}

struct timespec MicrosToTimespec(int64_t micros) {
  struct timespec span;
  span.tv_sec = static_cast<time_t>(micros / 1000000);
  span.tv_nsec = static_cast<long>(micros % 1000000) * 1000;
  return span;
}

void SleepUntil(int64_t until_us) {
  for (;;) {
    const int64_t left_us = until_us - MonotonicMicros();
    const struct timespec left = MicrosToTimespec(left_us > 0 ? left_us : 0);
    if (ppoll(nullptr, 0, &left, nullptr) == 0 || errno != EINTR) return;
  }
}
