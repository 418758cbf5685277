#include "line/exchange.h"

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "base/clock.h"
#include "signals/deadlysignals.h"

Exchange::Exchange(std::string device, std::string frame, PortUse use)
    : device_(std::move(device)), frame_(std::move(frame)), use_(use) {}

void Exchange::Finish(ExchangeStatus status) {
  result_.status = status;
  finished_ = true;
  port_.Close();
}

void Exchange::Start(int64_t now_us) {
  if (!port_.Open(device_)) {
    result_.error = port_.Errno();
    result_.out_of_descriptors = IsOutOfDescriptors(result_.error);
    if (result_.error == EACCES) result_.device_group = DeviceGroup(device_);
    return Finish(ExchangeStatus::kOpenFailed);
  }
  // The name now leads to another file than the one locked.
  if (use_.pin != nullptr && !use_.pin->Admit(port_.fd())) {
    result_.finding = PortFinding::kAnotherFile;
    return Finish(ExchangeStatus::kOpenFailed);
  }
  if (!port_.Configure(use_.low_latency)) {
    result_.error = port_.Errno();
    struct stat file;
    if (result_.error == ENOTTY)
      result_.finding = fstat(port_.fd(), &file) == 0 && !S_ISCHR(file.st_mode)
                            ? PortFinding::kNotDevice
                            : PortFinding::kNotTerminal;
    return Finish(ExchangeStatus::kConfigureFailed);
  }
  deadline_us_ = NextDeadline(now_us);
  Send(now_us);
}

struct pollfd Exchange::Wanted() const {
  struct pollfd wanted = {port_.fd(), 0, 0};
  if (!finished_) wanted.events = receiving_ ? POLLIN : POLLOUT;
  return wanted;
}

void Exchange::Advance(int16_t revents, int64_t now_us) {
  if (finished_) return;
  if (revents != 0) {
    if (receiving_)
      Receive(now_us);
    else
      Send(now_us);
  }
  if (finished_ || now_us < deadline_us_) return;
  if (receiving_) return Finish(ExchangeStatus::kReadTimedOut);
  // Whatever part of the frame is still queued must never reach the hub.
  (void)tcflush(port_.fd(), TCOFLUSH);
  Finish(ExchangeStatus::kSendFailed);
}

void Exchange::Send(int64_t now_us) {
  while (sent_ < frame_.size()) {
    const ssize_t written =
        write(port_.fd(), frame_.data() + sent_, frame_.size() - sent_);
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return;  // the line is full or stopped: poll
      result_.error = errno;
      (void)tcflush(port_.fd(), TCOFLUSH);
      return Finish(ExchangeStatus::kSendFailed);
    }
    sent_ += static_cast<size_t>(written);
    result_.frame_started = true;
  }
  receiving_ = true;
  deadline_us_ = NextDeadline(now_us);
}

void Exchange::Receive(int64_t now_us) {
  char bytes[kMaxReplyBytes];
  const size_t room = kMaxReplyBytes - result_.reply.size();
  const ssize_t got = read(port_.fd(), bytes, room);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
  // With VMIN 0 a readable line that yields no byte has hung up; a byte
  // that was not received is never stored.
  if (got <= 0) {
    result_.error = got < 0 ? errno : 0;
    result_.finding = PortFinding::kHungUp;
    return Finish(ExchangeStatus::kReadTimedOut);
  }
  for (ssize_t i = 0; i < got; ++i) {
    result_.reply.push_back(bytes[i]);
    if (bytes[i] == '\n') return Finish(ExchangeStatus::kOk);
  }
  if (result_.reply.size() == static_cast<size_t>(kMaxReplyBytes))
    return Finish(ExchangeStatus::kReplyTooLong);
  deadline_us_ = NextDeadline(now_us);
}

int64_t Exchange::NextDeadline(int64_t now_us) const {
  return std::min(now_us + use_.byte_wait_us, use_.end_by_us);
}

ExchangeResult RunExchange(const std::string& device, const std::string& frame,
                           PortUse use) {
  Exchange exchange(device, frame, use);
  exchange.Start(MonotonicMicros());
  while (!exchange.Finished()) {
    // The port, and the deadly signals watched while its line is changed.
    struct pollfd wanted[] = {exchange.Wanted(),
                              {DeadlySignalWatch(), POLLIN, 0}};
    const int ready = poll(
        wanted, 2, PollTimeoutMs(exchange.DeadlineMicros(), MonotonicMicros()));
    // A signal cuts the wait short; the rest of the same wait follows. Any
    // other failure of poll() is taken as the deadline.
    if (ready < 0 && errno == EINTR) continue;
    if (ready > 0 && wanted[1].revents != 0) ActOnWatchedSignals();
    const int64_t now = MonotonicMicros();
    exchange.Advance(ready > 0 ? wanted[0].revents : 0,
                     ready < 0 ? exchange.DeadlineMicros() : now);
  }
  return exchange.Result();
}
