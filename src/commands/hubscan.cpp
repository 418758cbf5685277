#include "commands/hubscan.h"

#include <dirent.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

#include "base/clock.h"
#include "commands/lockedhub.h"
#include "line/exchange.h"
#include "locks/hublock.h"
#include "names/hubnames.h"
#include "protocol/messages.h"
#include "signals/deadlysignals.h"

namespace {

constexpr int32_t kDescriptorsPerProbe = 2;  // the lock and the port
// Left for what the run opens besides probes (the descriptor count itself).
constexpr int64_t kSpareDescriptors = 4;

enum class Phase { kNotStarted, kLockWait, kQuery, kStates, kDone };

struct Probe {
  explicit Probe(const LinkSettings& settings)
      : lock({settings.device_dir, settings.lock_file_dirs},
             settings.lock_recheck_us) {}

  int32_t index = 0;
  std::string device;
  std::vector<std::string>
      lock_file_names;  // its name, and those leading to it
  Phase phase = Phase::kNotStarted;
  HubLock lock;
  std::unique_ptr<Exchange> exchange;
  HubReport report;
  bool is_hub = false;
  std::optional<Reason> passed_over;  // a device there, but no hub
  bool waited_for_lock = false;
  int64_t recheck_us = 0;
};

int64_t OpenDescriptors() {
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return kSpareDescriptors;
  int64_t count = 0;
  while (readdir(fds) != nullptr) ++count;
  (void)closedir(fds);
  return count;
}

size_t ProbesAtOnce() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
  const int64_t soft = limit.rlim_cur == RLIM_INFINITY
                           ? INT32_MAX
                           : static_cast<int64_t>(limit.rlim_cur);
  const int64_t free_fds = soft - OpenDescriptors() - kSpareDescriptors;
  return static_cast<size_t>(
      std::clamp<int64_t>(free_fds / kDescriptorsPerProbe, 1, kScanNames));
}

class Scan {
 public:
  Scan(const LinkSettings& settings,
       const std::function<void(const FoundHub&)>& on_hub,
       const std::function<void(const Reason&)>& passed_over)
      : settings_(settings), on_hub_(on_hub), passed_over_(passed_over) {
    probes_.reserve(kScanNames);
    for (int32_t i = 0; i < kScanNames; ++i) probes_.emplace_back(settings);
  }

  bool Run();

 private:
  void ChooseDevices();
  void Begin(Probe* probe, int64_t now);
  void TryLock(Probe* probe, int64_t now);
  void StartExchange(Probe* probe, const std::string& frame, Phase phase,
                     int64_t now);
  void ExchangeFinished(Probe* probe, int64_t now);
  void Finish(Probe* probe, bool is_hub);
  void PassOver(Probe* probe, Reason reason);
  void Starve(Probe* probe);
  void HandOnInOrder();
  void StartPending(int64_t now);
  int WaitForEvents();
  void AdvanceExchanges(int ready, int64_t now);
  void RecheckLocks(int64_t now);

  const LinkSettings& settings_;
  const std::function<void(const FoundHub&)>& on_hub_;
  const std::function<void(const Reason&)>& passed_over_;
  std::vector<Probe> probes_;
  std::deque<Probe*> pending_;
  std::vector<Probe*> starved_;
  // One per exchange in polled_, then the signal watch.
  std::vector<struct pollfd> wanted_;
  std::vector<Probe*> polled_;
  size_t running_ = 0;  // probes that hold descriptors
  size_t most_running_ = 1;
  int64_t start_ = 0;
  int64_t lock_deadline_ = 0;
  int64_t late_probe_end_ = 0;  // for a probe that waited for its lock
  int32_t next_to_hand_on_ = 0;
  bool complete_ = true;
};

// Each device is probed once, under the name that is its own: a ttyUSBn
// that leads to another ttyUSBm is no hub of its own, and its lock files
// mark ttyUSBm; names that reach one device node some other way are the
// lowest name's.
void Scan::ChooseDevices() {
  for (int32_t i = 0; i < kScanNames; ++i) {
    Probe& probe = probes_[i];
    probe.index = i;
    probe.device = HubDevice(settings_.device_dir, ScanName(i));
    probe.phase = Phase::kDone;
    probe.lock_file_names = {ScanName(i)};
  }
  std::vector<std::pair<dev_t, Probe*>> probed_nodes;
  for (int32_t i = 0; i < kScanNames; ++i) {
    Probe& probe = probes_[i];
    struct stat st;
    // A name without a device fails at once; it needs no probe.
    if (stat(probe.device.c_str(), &st) != 0) continue;
    const HubPath walked = ResolveHubPath(probe.device, settings_.device_dir);
    Probe* owner = nullptr;
    if (walked.status == HubPathStatus::kHub && walked.name != ScanName(i)) {
      for (Probe& other : probes_)
        if (ScanName(other.index) == walked.name) owner = &other;
    } else if (S_ISCHR(st.st_mode)) {
      for (const auto& [node, other] : probed_nodes)
        if (node == st.st_rdev) owner = other;
      if (owner == nullptr) probed_nodes.emplace_back(st.st_rdev, &probe);
    }
    if (owner != nullptr) {
      owner->lock_file_names.push_back(ScanName(i));
      continue;
    }
    probe.phase = Phase::kNotStarted;
    pending_.push_back(&probe);
  }
}

void Scan::Begin(Probe* probe, int64_t now) {
  ++running_;
  TryLock(probe, now);
}

void Scan::TryLock(Probe* probe, int64_t now) {
  const LockState state =
      probe->lock.TryAcquire(probe->device, probe->lock_file_names);
  switch (state) {
    case LockState::kHeld:
    case LockState::kNoDevice:
      return StartExchange(probe, BuildFrame(kQueryCode), Phase::kQuery, now);
    case LockState::kNoDescriptors: return Starve(probe);
    case LockState::kBusy:
    case LockState::kCannotLook:
      --running_;
      if (now >= lock_deadline_ || state == LockState::kCannotLook) {
        probe->phase = Phase::kDone;
        probe->passed_over =
            HeldReason(probe->device, probe->lock.Holder(), now - start_);
        return;
      }
      probe->phase = Phase::kLockWait;
      probe->waited_for_lock = true;
      probe->recheck_us =
          std::min(now + settings_.lock_recheck_us, lock_deadline_);
      return;
  }
}

void Scan::StartExchange(Probe* probe, const std::string& frame, Phase phase,
                         int64_t now) {
  probe->phase = phase;
  probe->exchange = std::make_unique<Exchange>(
      probe->device, frame,
      PortUse{settings_.byte_wait_us, probe->lock.Pin(), nullptr,
              probe->waited_for_lock ? late_probe_end_ : INT64_MAX});
  probe->exchange->Start(now);
  if (probe->exchange->Finished()) ExchangeFinished(probe, now);
}

void Scan::ExchangeFinished(Probe* probe, int64_t now) {
  const ExchangeResult result = probe->exchange->Result();
  probe->exchange.reset();
  if (result.out_of_descriptors) return Starve(probe);
  const char* code =
      probe->phase == Phase::kQuery ? kQueryCode : kGetStatesCode;
  const bool decoded = result.status == ExchangeStatus::kOk &&
                       (probe->phase == Phase::kQuery
                            ? DecodeQueryReply(result.reply, &probe->report)
                            : DecodeStateReply(result.reply, &probe->report)) ==
                           ReportStatus::kOk;
  if (!decoded)
    return PassOver(probe, ExchangeReason(probe->device, code, result,
                                          settings_.byte_wait_us));
  if (probe->phase == Phase::kQuery)
    return StartExchange(probe, BuildFrame(kGetStatesCode), Phase::kStates,
                         now);
  Finish(probe, true);
}

void Scan::PassOver(Probe* probe, Reason reason) {
  probe->passed_over = std::move(reason);
  Finish(probe, false);
}

void Scan::Finish(Probe* probe, bool is_hub) {
  probe->is_hub = is_hub;
  probe->phase = Phase::kDone;
  probe->lock.Release();
  --running_;
  // Descriptors were freed: the starved get their turn first.
  for (auto it = starved_.rbegin(); it != starved_.rend(); ++it)
    pending_.push_front(*it);
  starved_.clear();
}

void Scan::Starve(Probe* probe) {
  probe->lock.Release();
  --running_;
  probe->phase = Phase::kNotStarted;
  if (running_ == 0) {
    // Nothing of ours will free a descriptor: this device goes unprobed.
    probe->phase = Phase::kDone;
    complete_ = false;
    probe->passed_over = Reason(Cause::kOutOfDescriptors, probe->device);
    return;
  }
  starved_.push_back(probe);
  most_running_ = std::max<size_t>(1, running_);
}

void Scan::HandOnInOrder() {
  while (next_to_hand_on_ < kScanNames &&
         probes_[next_to_hand_on_].phase == Phase::kDone) {
    const Probe& probe = probes_[next_to_hand_on_++];
    if (probe.is_hub)
      on_hub_({probe.index, ScanName(probe.index), probe.device, probe.report});
    else if (probe.passed_over)
      passed_over_(*probe.passed_over);
  }
}

void Scan::StartPending(int64_t now) {
  while (running_ < most_running_ && !pending_.empty()) {
    Probe* probe = pending_.front();
    pending_.pop_front();
    Begin(probe, now);
  }
}

// Waits until some exchange can move or some deadline or lock recheck is
// due; the probes whose descriptors were polled are left in polled_.
int Scan::WaitForEvents() {
  wanted_.clear();
  polled_.clear();
  int64_t wake = INT64_MAX;
  for (Probe& probe : probes_) {
    if (probe.exchange) {
      wanted_.push_back(probe.exchange->Wanted());
      polled_.push_back(&probe);
      wake = std::min(wake, probe.exchange->DeadlineMicros());
    } else if (probe.phase == Phase::kLockWait) {
      wake = std::min(wake, probe.recheck_us);
    }
  }
  // Last, past the probes': the deadly signals watched while lines are
  // changed.
  wanted_.push_back({DeadlySignalWatch(), POLLIN, 0});
  return poll(wanted_.data(), wanted_.size(),
              PollTimeoutMs(wake, MonotonicMicros()));
}

// A failed poll() advances each exchange to its own deadline, so that a
// broken poll can never spin the scan.
void Scan::AdvanceExchanges(int ready, int64_t now) {
  for (size_t i = 0; i < polled_.size(); ++i) {
    Probe* probe = polled_[i];
    probe->exchange->Advance(
        ready > 0 ? wanted_[i].revents : 0,
        ready < 0 ? probe->exchange->DeadlineMicros() : now);
    if (probe->exchange->Finished()) ExchangeFinished(probe, now);
  }
}

void Scan::RecheckLocks(int64_t now) {
  for (Probe& probe : probes_) {
    if (probe.phase != Phase::kLockWait || probe.recheck_us > now) continue;
    if (running_ >= most_running_) {
      probe.recheck_us = now + settings_.lock_recheck_us;
      continue;
    }
    Begin(&probe, now);
  }
}

bool Scan::Run() {
  start_ = MonotonicMicros();
  lock_deadline_ = start_ + settings_.byte_wait_us;
  late_probe_end_ = lock_deadline_ + settings_.byte_wait_us / 5;
  most_running_ = ProbesAtOnce();
  ChooseDevices();
  for (;;) {
    StartPending(MonotonicMicros());
    HandOnInOrder();
    if (next_to_hand_on_ == kScanNames) return complete_;
    const int ready = WaitForEvents();
    // A signal cuts the wait short; every deadline still stands.
    if (ready < 0 && errno == EINTR) continue;
    if (ready > 0 && wanted_.back().revents != 0) ActOnWatchedSignals();
    const int64_t now = MonotonicMicros();
    AdvanceExchanges(ready, now);
    RecheckLocks(now);
  }
}

}  // namespace

bool ScanHubs(const LinkSettings& settings,
              const std::function<void(const FoundHub&)>& on_hub,
              const std::function<void(const Reason&)>& passed_over) {
  Scan scan(settings, on_hub, passed_over);
  return scan.Run();
}
