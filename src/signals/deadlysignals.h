// Leaving devices as found when a signal ends the run.
//
// A run changes a device's line settings (and, on adapters that offer it,
// its low-latency flag) only for the length of one exchange and writes
// them back before it closes the port. A signal that ends the run in
// between would leave the device raw, and the program that owns it (a
// modem, a console) broken. So no signal whose default action ends the
// process may end it while a port is listed here before every listed
// port's settings are written back. Ports list themselves
// (line/serialport.h). The crash signals get a handler that writes them
// back and lets the signal take its course. The others are blocked while
// a port is listed and watched through a signalfd, which the exchange's
// wait polls (DeadlySignalWatch()): one arriving ends the wait, the ports
// are put back and the run ends by the signal, as its default action
// would; one that arrives outside a wait is pending until the wait or
// until the last port is closed, and then takes its course. That costs a
// run a few system calls, where a handler for each signal would cost a
// sigaction each.
//
// What the caller set up stays: a signal ignored when the run started
// gets no handler and stays ignored (nohup, the background jobs of a
// non-interactive shell), and a signal blocked at start stays blocked.
//
// DeadlySignalHold keeps a stretch of the run (a power cycle's off time)
// from being ended half-way: the deadly signals that can be delivered are
// blocked, a wait on it ends early when one arrives, and End() hands the
// signal back, so that the run's result line goes out before
// EndRunBySignal() acts on it. Crash signals cannot be blocked (a real
// fault while blocked kills at once, with the line left raw); one that
// another process sends (kill -ABRT from a watchdog) is recognised by its
// sender and held in the same way.
//
// Signals 32 and 33 are the C library's own (its threads' cancellation
// and set-id calls): it refuses handlers for them, so no restore runs when
// one is sent, and they cannot be held.
#pragma once

#include <linux/serial.h>
#include <termios.h>

#include <csignal>
#include <cstdint>

// Asks for the handler on every signal from 1 to 31 whose default action
// ends the process (SIGKILL and SIGSTOP cannot be caught) and on SIGRTMIN
// to SIGRTMAX; it is installed when the first port is listed. Builds with
// a sanitizer leave the crash signals to it.
void AskForRestoreOnDeadlySignals();

// How a listed port's serial flags are written back.
using SerialFlagsSetter = int (*)(int32_t fd, const struct serial_struct*);

// Lists fd with the settings found on it, and with the serial flags found
// when set_flags is not null; false when the table is full (a signal then
// leaves that one device raw).
bool AddRestoreEntry(int32_t fd, const struct termios& found,
                     const struct serial_struct& found_flags,
                     SerialFlagsSetter set_flags);
void RemoveRestoreEntry(int32_t fd);

// Writes back what every listed port was found with: what the handler
// does before the signal takes its course.
void RestoreListedPorts();

// While a port is listed, the deadly signals that are not crashes are
// blocked and watched on this descriptor (a signalfd): a wait that may
// last while the line is changed polls it too, and when it is readable
// calls ActOnWatchedSignals(), which puts every listed port back and ends
// the run by the signal, unless the caller ignored it. -1 when nothing
// is watched (no port listed, during a hold, or no descriptor for it:
// then those signals have the handler).
int32_t DeadlySignalWatch();
void ActOnWatchedSignals();

// Ports that can be listed at once: a whole scan's and the main one.
constexpr int32_t kRestoreEntries = 260;

// Ends the run by signal as its default action does, once the ports'
// settings are written back.
void EndRunBySignal(int32_t signal);

class DeadlySignalHold {
 public:
  DeadlySignalHold();
  // Ends the hold, if End() has not, and a held signal takes its course.
  ~DeadlySignalHold();
  DeadlySignalHold(const DeadlySignalHold&) = delete;
  DeadlySignalHold& operator=(const DeadlySignalHold&) = delete;

  // Sleeps wait_us, or less when a held signal arrives.
  void Wait(int64_t wait_us);
  // Ends the hold: the signal that arrived during it, taken off the
  // pending set (the first one, when several did), or 0.
  int32_t End();

 private:
  sigset_t previous_mask_;
  sigset_t awaited_;   // deliverable at start, and the wake-up signal
  int32_t taken_ = 0;  // a held signal taken off the pending set
  bool ended_ = false;
};
