// The one clock every wait of the program is measured against.
#pragma once

#include <time.h>

#include <cstdint>

// Microseconds on CLOCK_MONOTONIC: never set back, never jumps.
int64_t MonotonicMicros();

// The poll() timeout, in whole milliseconds rounded up, that sleeps until
// deadline_us at the latest; 0 once it has passed.
int32_t PollTimeoutMs(int64_t deadline_us, int64_t now_us);

// A span of microseconds (0 or more) as a timespec.
struct timespec MicrosToTimespec(int64_t micros);

// Sleeps until until_us (MonotonicMicros()), whatever signals come.
void SleepUntil(int64_t until_us);
