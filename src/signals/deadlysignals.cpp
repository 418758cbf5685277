#include "signals/deadlysignals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>

#include "base/clock.h"
#include "base/uniquefd.h"
#include "signals/allocation.h"

namespace {

constexpr int32_t kFreeEntry = -1;
constexpr int32_t kClaimedEntry = -2;

struct RestoreEntry {
  std::atomic<int32_t> fd{kFreeEntry};
  struct termios found;
  struct serial_struct found_flags;
  SerialFlagsSetter set_flags;  // null when the flags were not read
};

// Global because a signal handler reads it; an entry's fd is published
// only once its settings are in place, and the handler uses nothing else.
RestoreEntry g_restore_entries[kRestoreEntries];

// Whether the run asked for the handlers, and whether they are in: they go
// in with the first port listed, so that a run that never changes a line
// (the help screen, a bad command line) spends no system call on them.
std::atomic<bool> g_restore_wanted{false};
std::atomic<bool> g_handlers_installed{false};

// The deadly signals that are not crashes are watched rather than caught:
// blocked while a port is listed, and read from this signalfd by the
// exchange's poll(), so that a run costs a few system calls on them
// rather than a sigaction each. Global because the listing, the exchange
// and the scan share it; not touched by any handler.
UniqueFd g_watch;
sigset_t g_watched;          // the holdable signals not blocked at start
int32_t g_listed_ports = 0;  // ports listed now

// Global because the crash handler reads and writes them: whether a
// DeadlySignalHold is on, and the crash signal another process sent
// during it.
std::atomic<bool> g_holding{false};
std::atomic<int32_t> g_sent_crash{0};

const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL,
                             SIGABRT, SIGSYS, SIGTRAP};
const int kOtherDeadlySignals[] = {
    SIGHUP,  SIGINT,  SIGQUIT,   SIGPIPE, SIGALRM, SIGTERM,   SIGUSR1, SIGUSR2,
    SIGPOLL, SIGPROF, SIGVTALRM, SIGXCPU, SIGXFSZ, SIGSTKFLT, SIGPWR};

// Calls use(signal) for every deadly signal that is not a crash: those a
// run installs its restore for, and may hold back.
template <typename Use>
void ForEachHoldableSignal(Use use) {
  for (int signal : kOtherDeadlySignals) use(signal);
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) use(signal);
}

// Raised, the signal is delivered at once, or when it is unblocked here (a
// watched one is blocked while ports are listed).
void RaiseWithDefaultAction(int signal) {
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  (void)sigemptyset(&fallback.sa_mask);
  (void)sigaction(signal, &fallback, nullptr);
  (void)raise(signal);
  sigset_t just_it;
  (void)sigemptyset(&just_it);
  (void)sigaddset(&just_it, signal);
  (void)sigprocmask(SIG_UNBLOCK, &just_it, nullptr);
}

void RestoreAndDie(int signal) {
  RestoreListedPorts();
  // SA_RESETHAND has made the default action current again; the signal is
  // blocked while its handler runs and arrives once the handler returns.
  (void)raise(signal);
}

void RestoreOrHoldCrash(int signal, siginfo_t* info, void*) {
  // A crash signal sent by another process (si_code <= 0 is a kill, a
  // sigqueue or a tgkill); abort() and a real fault come from this one.
  if (g_holding.load() && info != nullptr && info->si_code <= 0 &&
      info->si_pid != getpid()) {
    int32_t none = 0;
    (void)g_sent_crash.compare_exchange_strong(none, signal);
    (void)raise(kHoldWakeSignal);
    return;
  }
  RestoreListedPorts();
  // Raised again, it arrives once the handler returns; a faulting
  // instruction would fault again anyway.
  RaiseWithDefaultAction(signal);
}

bool IsIgnore(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_IGN;
}

bool IgnoredNow(int signal) {
  struct sigaction current;
  return sigaction(signal, nullptr, &current) == 0 && IsIgnore(current);
}

// One call sets the handler and reads what was there; a signal the caller
// ignored gets its SIG_IGN back at once. The signals are blocked while
// this runs (InstallHandlers()), so none reaches the handler in between,
// and putting SIG_IGN back discards one that arrived. Without the handler
// the signal still ends the run, only without the restore: nothing to do
// about a failure here.
void Install(int signal, const struct sigaction& action) {
  struct sigaction previous;
  if (sigaction(signal, &action, &previous) != 0) return;
  if (IsIgnore(previous)) (void)sigaction(signal, &previous, nullptr);
}

// The watch on the holdable signals: a signalfd for those the caller has
// not blocked. Without a descriptor for it (a run at its limit) they get
// the handler instead, as the crash signals do.
bool StartWatch(const sigset_t& blocked_at_start) {
  (void)sigemptyset(&g_watched);
  ForEachHoldableSignal([&](int signal) {
    if (sigismember(&blocked_at_start, signal) != 1)
      (void)sigaddset(&g_watched, signal);
  });
  g_watch.Reset(signalfd(-1, &g_watched, SFD_NONBLOCK | SFD_CLOEXEC));
  return g_watch.valid();
}

void InstallHandlers() {
  sigset_t all;
  sigset_t previous_mask;
  (void)sigfillset(&all);
  if (sigprocmask(SIG_BLOCK, &all, &previous_mask) != 0) return;
  if (!StartWatch(previous_mask)) {
    struct sigaction restore = {};
    restore.sa_handler = RestoreAndDie;
    restore.sa_flags = SA_RESETHAND;
    (void)sigemptyset(&restore.sa_mask);
    ForEachHoldableSignal([&](int signal) { Install(signal, restore); });
  }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_UNDEFINED__)
  // Not reset on entry: a held crash signal leaves the handler in place
  // for the next one.
  struct sigaction crash = {};
  crash.sa_sigaction = RestoreOrHoldCrash;
  crash.sa_flags = SA_SIGINFO;
  (void)sigemptyset(&crash.sa_mask);
  for (int signal : kCrashSignals) Install(signal, crash);
#else
  (void)kCrashSignals;
  (void)RestoreOrHoldCrash;
#endif
  (void)sigprocmask(SIG_SETMASK, &previous_mask, nullptr);
}

}  // namespace

void AskForRestoreOnDeadlySignals() { g_restore_wanted.store(true); }

void EndRunBySignal(int32_t signal) {
  RestoreListedPorts();
  RaiseWithDefaultAction(signal);
}

void RestoreListedPorts() {
  for (RestoreEntry& entry : g_restore_entries) {
    const int32_t fd = entry.fd.load(std::memory_order_acquire);
    if (fd < 0) continue;
    (void)tcsetattr(fd, TCSANOW, &entry.found);
    if (entry.set_flags != nullptr)
      (void)entry.set_flags(fd, &entry.found_flags);
  }
}

bool AddRestoreEntry(int32_t fd, const struct termios& found,
                     const struct serial_struct& found_flags,
                     SerialFlagsSetter set_flags) {
  if (g_restore_wanted.load() && !g_handlers_installed.exchange(true))
    InstallHandlers();
  for (RestoreEntry& entry : g_restore_entries) {
    int32_t expected = kFreeEntry;
    if (!entry.fd.compare_exchange_strong(expected, kClaimedEntry)) continue;
    entry.found = found;
    entry.found_flags = found_flags;
    entry.set_flags = set_flags;
    entry.fd.store(fd, std::memory_order_release);
    // Blocked before the line changes; a hold has blocked them already.
    if (g_watch.valid() && g_listed_ports++ == 0 && !g_holding.load())
      (void)sigprocmask(SIG_BLOCK, &g_watched, nullptr);
    return true;
  }
  return false;
}

void RemoveRestoreEntry(int32_t fd) {
  for (RestoreEntry& entry : g_restore_entries) {
    int32_t expected = fd;
    if (!entry.fd.compare_exchange_strong(expected, kFreeEntry)) continue;
    // The line is back as found: a signal that came meanwhile, still
    // pending, now takes its course. A hold keeps them blocked.
    if (g_watch.valid() && --g_listed_ports == 0 && !g_holding.load())
      (void)sigprocmask(SIG_UNBLOCK, &g_watched, nullptr);
    return;
  }
}

int32_t DeadlySignalWatch() {
  return g_listed_ports > 0 && !g_holding.load() ? g_watch.get() : -1;
}

void ActOnWatchedSignals() {
  struct signalfd_siginfo info;
  while (read(g_watch.get(), &info, sizeof info) ==
         static_cast<ssize_t>(sizeof info)) {
    const int signal = static_cast<int>(info.ssi_signo);
    // Ignored by the caller, it stays ignored.
    if (!IgnoredNow(signal)) EndRunBySignal(signal);
  }
}

DeadlySignalHold::DeadlySignalHold() {
  sigset_t held;
  (void)sigemptyset(&held);
  ForEachHoldableSignal([&](int signal) {
    if (!IgnoredNow(signal)) (void)sigaddset(&held, signal);
  });
  (void)sigaddset(&held, kHoldWakeSignal);
  (void)sigprocmask(SIG_BLOCK, &held, &previous_mask_);
  // A signal blocked at start is left pending for whoever blocked it.
  awaited_ = held;
  for (int signal = 1; signal <= SIGRTMAX; ++signal)
    if (signal != kHoldWakeSignal && sigismember(&previous_mask_, signal) == 1)
      (void)sigdelset(&awaited_, signal);
  g_sent_crash.store(0);
  g_holding.store(true);
}

DeadlySignalHold::~DeadlySignalHold() {
  const int32_t signal = End();
  if (signal != 0) EndRunBySignal(signal);
}

int32_t DeadlySignalHold::End() {
  if (ended_) return 0;
  ended_ = true;
  g_holding.store(false);
  int32_t signal = g_sent_crash.exchange(0);
  if (signal == 0) signal = taken_;
  // Signals that came after the wait are taken too: unblocked, they would
  // end the run before its line is out.
  const struct timespec no_wait = {0, 0};
  for (;;) {
    const int pending = sigtimedwait(&awaited_, nullptr, &no_wait);
    if (pending > 0 && signal == 0 && pending != kHoldWakeSignal)
      signal = pending;
    if (pending < 0 && errno != EINTR) break;
  }
  (void)sigprocmask(SIG_SETMASK, &previous_mask_, nullptr);
  return signal;
}

void DeadlySignalHold::Wait(int64_t wait_us) {
  const int64_t deadline_us = MonotonicMicros() + wait_us;
  while (taken_ == 0 && g_sent_crash.load() == 0) {
    const int64_t left_us =
        std::max<int64_t>(0, deadline_us - MonotonicMicros());
    const struct timespec left = MicrosToTimespec(left_us);
    const int signal = sigtimedwait(&awaited_, nullptr, &left);
    if (signal == kHoldWakeSignal) continue;  // the loop looks at the crash
    if (signal > 0) {
      taken_ = signal;
      return;
    }
    if (errno == EAGAIN) return;  // the wait ran out
    // EINTR: a signal outside the held set, with a handler; wait on.
  }
}
