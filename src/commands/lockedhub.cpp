#include "commands/lockedhub.h"

#include "link/clock.h"
#include "link/hubnames.h"
#include "link/serialport.h"

LockedHub::LockedHub(const Request& request, const LinkSettings& settings)
    : settings_(settings),
      // The empty path fails to open as a missing device does.
      device_(request.hub.empty()
                  ? ""
                  : HubDevice(settings.device_dir, request.hub)),
      typed_path_(request.typed_path),
      lock_file_names_(request.lock_file_names),
      lock_({settings.device_dir, settings.lock_file_dirs},
            settings.lock_recheck_us) {}

Outcome LockedHub::Lock(Outcome cannot_open) {
  switch (lock_.Acquire(device_, lock_file_names_,
                        MonotonicMicros() + settings_.lock_wait_us)) {
    case LockState::kHeld: break;
    case LockState::kBusy: return Outcome::kPortBusy;
    case LockState::kNoDescriptors: return cannot_open;
  }
  if (!typed_path_.empty() && !TypedPathLeadsToLockedDevice()) {
    // The empty path fails to open as a missing device does.
    lock_.Release();
    device_.clear();
  }
  return Outcome::kSuccess;
}

bool LockedHub::TypedPathLeadsToLockedDevice() const {
  const HubPath now = ResolveHubPath(typed_path_, settings_.device_dir);
  return now.status == HubPathStatus::kHub &&
         lock_.Pin()->IsFileAt(HubDevice(settings_.device_dir, now.name));
}

Outcome LockedHub::LockAndReadReport(HubReport* report) {
  const Outcome locked = Lock(Outcome::kQueryErr);
  if (locked != Outcome::kSuccess) return locked;
  const ReportResult read = ReadHubReport(device_, Use());
  switch (read.status) {
    case ReportStatus::kOk: break;
    case ReportStatus::kNoAnswer: return Outcome::kQueryErr;
    case ReportStatus::kNotAHub: return Outcome::kIdErr;
    case ReportStatus::kNoStates: return Outcome::kGetPortStateErr;
  }
  *report = read.report;
  return Outcome::kSuccess;
}

ExchangeResult LockedHub::Exchange(const std::string& frame) {
  return RunExchange(device_, frame, Use());
}

PortUse LockedHub::Use() {
  return {settings_.byte_wait_us, lock_.Pin(), &kDriverSerialFlags};
}

Outcome LineFailure(ExchangeStatus status) {
  switch (status) {
    case ExchangeStatus::kOk: break;
    case ExchangeStatus::kOpenFailed: return Outcome::kOpenPortError;
    case ExchangeStatus::kConfigureFailed: return Outcome::kSetPortOptionError;
    case ExchangeStatus::kSendFailed: return Outcome::kSendError;
    case ExchangeStatus::kReadTimedOut: return Outcome::kReadTimeout;
    case ExchangeStatus::kReplyTooLong: return Outcome::kErrorParameters;
  }
  return Outcome::kSuccess;
}
