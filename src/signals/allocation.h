// The signals that tarvo's features take for themselves, allotted here and
// nowhere else: each feature's signal is one whose default action is to
// be ignored, so that one sent from outside (a terminal's resize, urgent
// socket data) does nothing but what the feature's handler does, and no
// two features may share one, or one feature's signal would end the
// other's wait.
#pragma once

#include <csignal>
#include <iterator>

// Blocked during a power cycle's hold (deadlysignals.h) and raised by the
// crash handler, so that a wait of the hold ends even when the crash
// signal came just before it began.
constexpr int kHoldWakeSignal = SIGWINCH;
// The lock's timer (locks/hublock.h): cuts a blocked flock() short at its
// deadline.
constexpr int kLockTimerSignal = SIGURG;

constexpr int kAllottedSignals[] = {kHoldWakeSignal, kLockTimerSignal};

constexpr bool NoSignalAllottedTwice() {
  for (int i = 0; i < static_cast<int>(std::size(kAllottedSignals)); ++i)
    for (int j = 0; j < i; ++j)
      if (kAllottedSignals[i] == kAllottedSignals[j]) return false;
  return true;
}
static_assert(NoSignalAllottedTwice(), "two features share one signal");
