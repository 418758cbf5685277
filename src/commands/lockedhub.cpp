#include "commands/lockedhub.h"

#include "base/clock.h"
#include "line/serialport.h"
#include "names/hubnames.h"
#include "protocol/messages.h"

LockedHub::LockedHub(Key, const Request& request, const LinkSettings& settings)
    : settings_(settings),
      // The empty path fails to open as a missing device does.
      device_(request.hub.empty()
                  ? ""
                  : HubDevice(settings.device_dir, request.hub)),
      typed_path_(request.typed_path),
      lock_file_names_(request.lock_file_names),
      lock_({settings.device_dir, settings.lock_file_dirs},
            settings.lock_recheck_us) {}

Outcome LockedHub::Lock(const Request& request, const LinkSettings& settings,
                        Outcome cannot_open, std::optional<LockedHub>* hub) {
  LockedHub& locked = hub->emplace(Key{}, request, settings);
  switch (locked.lock_.Acquire(locked.device_, locked.lock_file_names_,
                               MonotonicMicros() + settings.lock_wait_us)) {
    case LockState::kHeld:
    case LockState::kNoDevice: break;
    case LockState::kBusy: hub->reset(); return Outcome::kPortBusy;
    case LockState::kNoDescriptors: hub->reset(); return cannot_open;
  }
  if (!locked.typed_path_.empty() && !locked.TypedPathLeadsToLockedDevice()) {
    // The empty path fails to open as a missing device does.
    locked.lock_.Release();
    locked.device_.clear();
  }
  return Outcome::kSuccess;
}

bool LockedHub::TypedPathLeadsToLockedDevice() const {
  const HubPath now = ResolveHubPath(typed_path_, settings_.device_dir);
  return now.status == HubPathStatus::kHub &&
         lock_.Pin()->IsFileAt(HubDevice(settings_.device_dir, now.name));
}

Outcome LockedHub::LockAndReadReport(const Request& request,
                                     const LinkSettings& settings,
                                     std::optional<LockedHub>* hub,
                                     HubReport* report) {
  const Outcome locked = Lock(request, settings, Outcome::kQueryErr, hub);
  if (locked != Outcome::kSuccess) return locked;
  const ExchangeResult query = (*hub)->Exchange(BuildFrame(kQueryCode));
  if (query.status != ExchangeStatus::kOk) return Outcome::kQueryErr;
  if (DecodeQueryReply(query.reply, report) != ReportStatus::kOk)
    return Outcome::kIdErr;
  const ExchangeResult states = (*hub)->Exchange(BuildFrame(kGetStatesCode));
  if (states.status != ExchangeStatus::kOk ||
      DecodeStateReply(states.reply, report) != ReportStatus::kOk)
    return Outcome::kGetPortStateErr;
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
