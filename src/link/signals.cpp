#include "link/signals.h"

#include <atomic>

namespace {

constexpr int32_t kFreeEntry = -1;
constexpr int32_t kClaimedEntry = -2;

struct RestoreEntry {
  std::atomic<int32_t> fd{kFreeEntry};
  struct termios found;
};

// Global because a signal handler reads it; an entry's fd is published
// only once its settings are in place, and the handler uses nothing else.
RestoreEntry g_restore_entries[kRestoreEntries];

// Whether the run asked for the handlers, and whether they are in: they go
// in with the first port listed, so that a run that never changes a line
// (the help screen, a bad command line) spends no system call on them.
std::atomic<bool> g_restore_wanted{false};
std::atomic<bool> g_handlers_installed{false};

const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT,
                             SIGSYS,  SIGTRAP};
const int kOtherDeadlySignals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGPIPE,   SIGALRM, SIGTERM, SIGUSR1, SIGUSR2,
    SIGPOLL, SIGPROF, SIGVTALRM, SIGXCPU, SIGXFSZ, SIGSTKFLT, SIGPWR};

void RestoreAndDie(int signal) {
  for (RestoreEntry& entry : g_restore_entries) {
    const int32_t fd = entry.fd.load(std::memory_order_acquire);
    if (fd >= 0) (void)tcsetattr(fd, TCSANOW, &entry.found);
  }
  // SA_RESETHAND has made the default action current again; the signal is
  // blocked while its handler runs and arrives once the handler returns. A
  // crash signal raised by a faulting instruction comes back by itself.
  (void)raise(signal);
}

void Install(int signal) {
  struct sigaction action = {};
  action.sa_handler = RestoreAndDie;
  action.sa_flags = SA_RESETHAND;
  (void)sigemptyset(&action.sa_mask);
  // Without the handler the signal still ends the run, only without the
  // restore: nothing to do about a failure here.
  (void)sigaction(signal, &action, nullptr);
}

void InstallHandlers() {
  for (int signal : kOtherDeadlySignals) Install(signal);
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) Install(signal);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_UNDEFINED__)
  for (int signal : kCrashSignals) Install(signal);
#else
  (void)kCrashSignals;
#endif
}

}  // namespace

void RestorePortsOnDeadlySignals() {
  g_restore_wanted.store(true);
}

sigset_t HoldableDeadlySignals() {
  sigset_t set;
  (void)sigemptyset(&set);
  for (int signal : kOtherDeadlySignals) (void)sigaddset(&set, signal);
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
    (void)sigaddset(&set, signal);
  return set;
}

bool AddRestoreEntry(int32_t fd, const struct termios& found) {
  if (g_restore_wanted.load() && !g_handlers_installed.exchange(true))
    InstallHandlers();
  for (RestoreEntry& entry : g_restore_entries) {
    int32_t expected = kFreeEntry;
    if (!entry.fd.compare_exchange_strong(expected, kClaimedEntry)) continue;
    entry.found = found;
    entry.fd.store(fd, std::memory_order_release);
    return true;
  }
  return false;
}

void RemoveRestoreEntry(int32_t fd) {
  for (RestoreEntry& entry : g_restore_entries) {
    int32_t expected = fd;
    if (entry.fd.compare_exchange_strong(expected, kFreeEntry)) return;
  }
}
