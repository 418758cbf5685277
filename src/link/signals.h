// Leaving devices as found when a signal ends the run.
//
// A run changes a device's line settings only for the length of one
// exchange and writes them back before it closes the port. A signal that
// ends the run in between would leave the device raw, and the program
// that owns it (a modem, a console) broken. So every signal whose default
// action ends the process gets a handler that first writes back the
// settings of every port listed here, then lets the signal take its
// course. Ports list themselves (serialport.h).
#pragma once

#include <termios.h>

#include <csignal>
#include <cstdint>

// Asks for the handler on every signal from 1 to 31 whose default action
// ends the process (SIGKILL and SIGSTOP cannot be caught) and on SIGRTMIN
// to SIGRTMAX; it is installed when the first port is listed. Builds with
// a sanitizer leave the crash signals to it.
void RestorePortsOnDeadlySignals();

// Lists fd with the settings found on it; false when the table is full (a
// signal then leaves that one device raw).
bool AddRestoreEntry(int32_t fd, const struct termios& found);
void RemoveRestoreEntry(int32_t fd);

// The deadly signals that are not crashes: those a run may hold back for
// a while (sigprocmask) and act on later.
sigset_t HoldableDeadlySignals();

// Ports that can be listed at once: a whole scan's and the main one.
constexpr int32_t kRestoreEntries = 260;
