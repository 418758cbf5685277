#include "link/exchange.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>

#include "link/serialport.h"

const char kOpenPortError[] = "Open Port Error!";
const char kSetPortOptionError[] = "Set Port Option Error!";
const char kSendError[] = "Error Sending Command!";
const char kReadTimeout[] = "Read Timeout";
const char kErrorParameters[] = "Error Parameters";

namespace {

constexpr int32_t kBaud = 9600;
constexpr int32_t kDataBits = 8;
constexpr char kParity = 'N';
constexpr int32_t kStopBits = 1;

// The ports open right now with the settings they had before, for a
// deadly signal to put back (see RestorePortsOnDeadlySignals). A slot's fd
// is published only once its settings are in place.
constexpr int32_t kFreeSlot = -1;
constexpr int32_t kClaimedSlot = -2;
constexpr size_t kOpenPortSlots = 80;  // the scan's threads and the main one

struct OpenPort {
  std::atomic<int32_t> fd{kFreeSlot};
  struct termios oldtio;
};
OpenPort g_open_ports[kOpenPortSlots];

const int kDeadlySignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE};

void RestoreOpenPorts(int signal) {
  for (OpenPort& port : g_open_ports) {
    int32_t fd = port.fd.load(std::memory_order_acquire);
    if (fd >= 0) (void)tcsetattr(fd, TCSANOW, &port.oldtio);
  }
  // SA_RESETHAND has made the default action current again: die of it.
  (void)raise(signal);
}

// Puts back the line settings found at the start and closes the port, on
// every way out of an exchange.
class PortHolder {
 public:
  explicit PortHolder(int32_t fd) : fd_(fd) {}
  ~PortHolder() {
    if (fd_ < 0) return;
    // A device unplugged mid-exchange has no settings left to restore, so
    // a failure here leaves nothing to do but close.
    if (restore_) (void)tcsetattr(fd_, TCSANOW, &oldtio_);
    if (slot_ != nullptr) slot_->fd.store(kFreeSlot, std::memory_order_release);
    // Linux frees the descriptor even when close() reports an error.
    (void)close(fd_);
  }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  int32_t fd() const { return fd_; }
  // Called once set_opt() has filled *oldtio() and changed the line.
  struct termios* oldtio() { return &oldtio_; }
  void RestoreOnClose() {
    restore_ = true;
    for (OpenPort& port : g_open_ports) {
      int32_t expected = kFreeSlot;
      if (!port.fd.compare_exchange_strong(expected, kClaimedSlot)) continue;
      port.oldtio = oldtio_;
      port.fd.store(fd_, std::memory_order_release);
      slot_ = &port;
      return;
    }
  }

 private:
  int32_t fd_;
  struct termios oldtio_ = {};
  bool restore_ = false;
  OpenPort* slot_ = nullptr;
};

int64_t MonotonicMs() {
  struct timespec ts;
  // Cannot fail for CLOCK_MONOTONIC on Linux; were it to, every wait would
  // still be bounded by one poll() of the whole byte wait.
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

void RestorePortsOnDeadlySignals() {
  struct sigaction action = {};
  action.sa_handler = RestoreOpenPorts;
  action.sa_flags = SA_RESETHAND;
  (void)sigemptyset(&action.sa_mask);
  // Without the handler a signal still ends the run, only without the
  // restore: nothing to do about a failure here.
  for (int signal : kDeadlySignals) (void)sigaction(signal, &action, nullptr);
}

int32_t UART_Send(int32_t fd, const char* send_buf, int32_t data_len) {
  ssize_t written;
  do {
    written = write(fd, send_buf, static_cast<size_t>(data_len));
  } while (written < 0 && errno == EINTR);
  if (written == data_len) return data_len;
  // Drop what is left of a partial frame; the exchange fails either way.
  (void)tcflush(fd, TCOFLUSH);
  return 0;
}

int32_t UART_Recv(int32_t fd, char* rcv_buf, int32_t data_len,
                  int32_t timout_ms) {
  // poll() rather than select(): no FD_SETSIZE limit on the descriptor.
  const int64_t deadline =
      MonotonicMs() + int64_t{kByteWaitSeconds} * 1000 + timout_ms;
  for (;;) {
    int64_t left = deadline - MonotonicMs();
    if (left < 0) left = 0;
    struct pollfd pfd = {fd, POLLIN, 0};
    int ready = poll(&pfd, 1, static_cast<int>(left));
    if (ready < 0) {
      // A signal cuts the wait short; the rest of the same wait follows.
      if (errno == EINTR) continue;
      return -1;
    }
    if (ready == 0) return 0;
    ssize_t got = read(fd, rcv_buf, static_cast<size_t>(data_len));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    // With VMIN 0 a readable line that yields no byte has hung up.
    return static_cast<int32_t>(got);
  }
}

std::string SendCommand(std::string COM_Name, std::string Command,
                        std::string* prcv_buf, int32_t timeout_ms) {
  PortHolder port(openPort(COM_Name));
  if (port.fd() < 0) return kOpenPortError;
  if (set_opt(port.fd(), kBaud, kDataBits, kParity, kStopBits,
              port.oldtio()) < 0)
    return kSetPortOptionError;
  port.RestoreOnClose();

  const int32_t length = static_cast<int32_t>(Command.size());
  if (length > kMaxFrameBytes ||
      UART_Send(port.fd(), Command.data(), length) != length)
    return kSendError;

  std::string reply;
  char ch = 0;
  while (static_cast<int32_t>(reply.size()) < kMaxReplyBytes && ch != '\n') {
    // A byte that was not received is never stored: any failed wait or
    // read ends the exchange with what arrived so far.
    if (UART_Recv(port.fd(), &ch, 1, timeout_ms) <= 0) {
      *prcv_buf = reply;
      return kReadTimeout;
    }
    reply.push_back(ch);
  }
  *prcv_buf = reply;
  return ch == '\n' ? kOK : kErrorParameters;
}
