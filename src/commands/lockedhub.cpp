#include "commands/lockedhub.h"

#include <cerrno>

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
                        Outcome cannot_open, LineSink& out,
                        std::optional<LockedHub>* hub) {
  LockedHub& locked = hub->emplace(Key{}, request, settings);
  const int64_t start = MonotonicMicros();
  const LockState state = locked.lock_.Acquire(
      locked.device_, locked.lock_file_names_, start + settings.lock_wait_us);
  switch (state) {
    case LockState::kHeld:
    case LockState::kNoDevice: break;
    case LockState::kBusy:
    case LockState::kCannotLook:
      out.Explain(HeldReason(locked.device_, locked.lock_.Holder(),
                             MonotonicMicros() - start));
      hub->reset();
      return Outcome::kPortBusy;
    case LockState::kNoDescriptors: {
      const Outcome said = OutOfDescriptors(locked.device_, cannot_open, out);
      hub->reset();
      return said;
    }
  }
  if (!locked.typed_path_.empty() && !locked.TypedPathLeadsToLockedDevice()) {
    // The empty path fails to open as a missing device does.
    locked.lock_.Release();
    locked.device_.clear();
    locked.led_elsewhere_ = true;
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
                                     LineSink& out,
                                     std::optional<LockedHub>* hub,
                                     HubReport* report) {
  const Outcome locked = Lock(request, settings, Outcome::kQueryErr, out, hub);
  if (locked != Outcome::kSuccess) return locked;
  const ExchangeResult query = (*hub)->Exchange(BuildFrame(kQueryCode));
  if (query.status != ExchangeStatus::kOk) {
    out.Explain((*hub)->Why(kQueryCode, query));
    return Outcome::kQueryErr;
  }
  if (DecodeQueryReply(query.reply, report) != ReportStatus::kOk) {
    out.Explain((*hub)->Why(kQueryCode, query));
    return Outcome::kIdErr;
  }
  const ExchangeResult states = (*hub)->Exchange(BuildFrame(kGetStatesCode));
  if (states.status != ExchangeStatus::kOk ||
      DecodeStateReply(states.reply, report) != ReportStatus::kOk) {
    out.Explain((*hub)->Why(kGetStatesCode, states));
    return Outcome::kGetPortStateErr;
  }
  return Outcome::kSuccess;
}
ExchangeResult LockedHub::Exchange(const std::string& frame) {
  return RunExchange(device_, frame, Use());
}

Reason LockedHub::Why(const std::string& code,
                      const ExchangeResult& result) const {
  if (led_elsewhere_) return Reason(Cause::kAnotherDevice, typed_path_);
  return ExchangeReason(device_, code, result, settings_.byte_wait_us);
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

namespace {

Cause ExchangeCause(const ExchangeResult& result) {
  switch (result.status) {
    case ExchangeStatus::kOk: break;
    case ExchangeStatus::kOpenFailed:
      if (result.finding == PortFinding::kAnotherFile)
        return Cause::kAnotherDevice;
      if (result.out_of_descriptors) return Cause::kOutOfDescriptors;
      if (result.error == ENOENT || result.error == ENXIO ||
          result.error == ENODEV)
        return Cause::kNoDevice;
      if (result.error == EACCES || result.error == EPERM)
        return Cause::kPermissionDenied;
      return Cause::kCannotOpen;
    case ExchangeStatus::kConfigureFailed:
      return result.finding == PortFinding::kNotDevice ? Cause::kNotCharDevice
             : result.finding == PortFinding::kNotTerminal
                 ? Cause::kNotSerialLine
                 : Cause::kLineRefused;
    case ExchangeStatus::kSendFailed:
      return result.error == 0 ? Cause::kSendTimedOut : Cause::kSendFailed;
    case ExchangeStatus::kReadTimedOut:
      return result.finding == PortFinding::kHungUp ? Cause::kHungUp
                                                    : Cause::kNoAnswer;
    case ExchangeStatus::kReplyTooLong: return Cause::kReplyTooLong;
  }
  return Cause::kNotAHubReply;
}

Cause HeldCause(HeldThrough through) {
  switch (through) {
    case HeldThrough::kFlock: break;
    case HeldThrough::kLockFile: return Cause::kHeldThroughLockFile;
    case HeldThrough::kUnnamedLockFile: return Cause::kUnnamedLockFile;
    case HeldThrough::kUnreadableLockFile: return Cause::kUnreadableLockFile;
    case HeldThrough::kFullFolder: return Cause::kFullLockFolder;
    case HeldThrough::kUnsearchableFolder:
      return Cause::kUnsearchableLockFolder;
  }
  return Cause::kHeldThroughFlock;
}

}  // namespace

Reason ExchangeReason(const std::string& device, const std::string& code,
                      const ExchangeResult& result, int64_t byte_wait_us) {
  Reason reason(ExchangeCause(result), device);
  reason.code = code;
  reason.error = result.error;
  reason.reply = result.reply;
  reason.group = result.device_group;
  reason.waited_us = byte_wait_us;
  return reason;
}

Reason HeldReason(const std::string& device, const LockHolder& holder,
                  int64_t waited_us) {
  Reason reason(HeldCause(holder.through), device);
  reason.pid = holder.pid;
  reason.holder = holder.name;
  reason.path = holder.path;
  reason.error = holder.error;
  reason.waited_us = waited_us;
  return reason;
}

Outcome OutOfDescriptors(const std::string& device, Outcome outcome,
                         LineSink& out) {
  out.Explain(Reason(Cause::kOutOfDescriptors, device));
  return outcome;
}
