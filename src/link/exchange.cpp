#include "link/exchange.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "link/clock.h"

const char kOpenPortError[] = "Open Port Error!";
const char kSetPortOptionError[] = "Set Port Option Error!";
const char kSendError[] = "Error Sending Command!";
const char kReadTimeout[] = "Read Timeout";
const char kErrorParameters[] = "Error Parameters";

Exchange::Exchange(std::string device, std::string frame, int32_t timeout_ms,
                   PortUse use)
    : device_(std::move(device)),
      frame_(std::move(frame)),
      byte_wait_us_(kByteWaitBaseMicros + int64_t{timeout_ms} * 1000),
      use_(use) {}

void Exchange::Finish(const char* status) {
  result_.status = status;
  finished_ = true;
  port_ = SerialPort();
}

void Exchange::Start(int64_t now_us) {
  if (frame_.size() > static_cast<size_t>(kMaxFrameBytes))
    return Finish(kSendError);
  if (!port_.Open(device_)) {
    const int32_t error = port_.OpenErrno();
    result_.out_of_descriptors = error == EMFILE || error == ENFILE;
    return Finish(kOpenPortError);
  }
  // The name now leads to another file than the one locked.
  if (use_.pin != nullptr && !use_.pin->Admit(port_.fd()))
    return Finish(kOpenPortError);
  if (!port_.Configure(use_.low_latency)) return Finish(kSetPortOptionError);
  deadline_us_ = now_us + byte_wait_us_;
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
  if (receiving_) return Finish(kReadTimeout);
  // Whatever part of the frame is still queued must never reach the hub.
  (void)tcflush(port_.fd(), TCOFLUSH);
  Finish(kSendError);
}

void Exchange::Send(int64_t now_us) {
  while (sent_ < frame_.size()) {
    const ssize_t written =
        write(port_.fd(), frame_.data() + sent_, frame_.size() - sent_);
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return;  // the line is full or stopped: poll
      (void)tcflush(port_.fd(), TCOFLUSH);
      return Finish(kSendError);
    }
    sent_ += static_cast<size_t>(written);
    result_.frame_started = true;
  }
  receiving_ = true;
  deadline_us_ = now_us + byte_wait_us_;
}

void Exchange::Receive(int64_t now_us) {
  char bytes[kMaxReplyBytes];
  const size_t room = kMaxReplyBytes - result_.reply.size();
  const ssize_t got = read(port_.fd(), bytes, room);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
  // With VMIN 0 a readable line that yields no byte has hung up; a byte
  // that was not received is never stored.
  if (got <= 0) return Finish(kReadTimeout);
  for (ssize_t i = 0; i < got; ++i) {
    result_.reply.push_back(bytes[i]);
    if (bytes[i] == '\n') return Finish(kOK);
  }
  if (result_.reply.size() == static_cast<size_t>(kMaxReplyBytes))
    return Finish(kErrorParameters);
  deadline_us_ = now_us + byte_wait_us_;
}

ExchangeResult RunExchange(const std::string& device, const std::string& frame,
                           int32_t timeout_ms, PortUse use) {
  Exchange exchange(device, frame, timeout_ms, use);
  exchange.Start(MonotonicMicros());
  while (!exchange.Finished()) {
    struct pollfd wanted = exchange.Wanted();
    const int ready = poll(
        &wanted, 1,
        PollTimeoutMs(exchange.DeadlineMicros(), MonotonicMicros()));
    // A signal cuts the wait short; the rest of the same wait follows. Any
    // other failure of poll() is taken as the deadline.
    if (ready < 0 && errno == EINTR) continue;
    const int64_t now = MonotonicMicros();
    exchange.Advance(ready > 0 ? wanted.revents : 0,
                     ready < 0 ? exchange.DeadlineMicros() : now);
  }
  return exchange.Result();
}
