#include "hubsim.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

namespace hubsim {

const char kDefaultPassword[] = "mira    ";

namespace {

constexpr int64_t kWireMicrosPerByte = 1042;  // 10 bits at 9600 baud
// Lets the bytes sent before a hang-up reach the reader first.
constexpr int64_t kHangUpSettleMicros = 50000;

const char kLineEnd[] = "\r\n";
constexpr size_t kCodeBytes = 2;
constexpr size_t kFieldBytes = 8;
constexpr size_t kSecondFieldAt = kCodeBytes + kFieldBytes;
const char kWrongPassword[] = "E01\r\n";
const char kBadFrame[] = "E02\r\n";
const char kAccepted[] = "G\r\n";

}  // namespace

int64_t NowMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch())
      .count();
}

bool ParseStateField(const std::string& text, uint32_t* states) {
  if (text.size() != 8) return false;
  uint32_t value = 0;
  for (int byte = 0; byte < 4; ++byte) {
    uint32_t b = 0;
    for (int k = 0; k < 2; ++k) {
      char ch = text[2 * byte + k];
      uint32_t digit;
      if (ch >= '0' && ch <= '9')
        digit = ch - '0';
      else if (ch >= 'A' && ch <= 'F')
        digit = ch - 'A' + 10;
      else if (ch >= 'a' && ch <= 'f')
        digit = ch - 'a' + 10;
      else
        return false;
      b = b * 16 + digit;
    }
    value |= b << (8 * byte);
  }
  *states = value;
  return true;
}

HubConfig HubWith(const std::string& ports, uint32_t states,
                  const std::string& firmware) {
  HubConfig config;
  config.port_count = ports;
  config.states = states;
  config.firmware = firmware;
  return config;
}

Faults Answering(const std::string& code, const std::string& reply) {
  Faults faults;
  faults.replies[code] = reply;
  return faults;
}

Faults Silent() {
  Faults faults;
  faults.silent = true;
  return faults;
}

std::string StateHex(uint32_t states) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int byte = 0; byte < 4; ++byte) {
    uint32_t b = (states >> (8 * byte)) & 0xFFu;
    text += kDigits[b >> 4];
    text += kDigits[b & 0xFu];
  }
  return text;
}

std::string Respond(const std::string& frame, HubConfig* config) {
  const std::string code = frame.substr(0, 2);
  if (frame == "?Q\r")
    return config->id + config->model + config->port_count + config->firmware +
           kLineEnd;
  if (frame == "GP\r") return StateHex(config->states) + kLineEnd;

  // A frame is the code, one or two 8-byte fields (the password first)
  // and the carriage return.
  const bool with_two_fields = code == "SP" || code == "FP" || code == "CP";
  const bool with_password = code == "WP" || code == "RD" || code == "RH";
  const size_t fields = with_two_fields ? 2 : with_password ? 1 : 0;
  if (fields == 0 || frame.size() != kCodeBytes + fields * kFieldBytes + 1)
    return kBadFrame;
  if (frame.substr(kCodeBytes, kFieldBytes) != config->password)
    return kWrongPassword;
  const std::string second_field = frame.substr(kSecondFieldAt, kFieldBytes);

  if (code == "SP" || code == "FP") {
    uint32_t states;
    if (!ParseStateField(second_field, &states)) return kBadFrame;
    config->states = states;
    if (code == "FP") config->flash = states;
    return "G" + StateHex(states) + kLineEnd;
  }
  if (code == "CP") config->password = second_field;
  if (code == "WP") config->flash = config->states;
  if (code == "RD") {
    config->password = kDefaultPassword;
    config->states = config->flash = config->factory_states;
  }
  if (code == "RH") config->states = config->flash;
  return kAccepted;
}

Hub::Hub(HubConfig config, Faults faults, FrameWatcher watcher)
    : config_(std::move(config)),
      faults_(std::move(faults)),
      watcher_(std::move(watcher)) {
  master_.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master_.valid() || grantpt(master_.get()) != 0 ||
      unlockpt(master_.get()) != 0) {
    error_ = std::string("cannot open a pseudo-terminal: ") + strerror(errno);
    return;
  }
  char name[128];
  if (ptsname_r(master_.get(), name, sizeof name) != 0) {
    error_ = std::string("ptsname: ") + strerror(errno);
    return;
  }
  terminal_.Reset(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!terminal_.valid()) {
    error_ = std::string("cannot open ") + name + ": " + strerror(errno);
    return;
  }
  // Raw from the start, like a serial adapter nobody has configured yet
  // would not be; the program under test sets its own mode anyway.
  struct termios tio;
  if (tcgetattr(terminal_.get(), &tio) != 0 ||
      (cfmakeraw(&tio), tcsetattr(terminal_.get(), TCSANOW, &tio)) != 0) {
    error_ = std::string("cannot make ") + name + " raw: " + strerror(errno);
    return;
  }
  int stop_pipe[2];
  if (pipe2(stop_pipe, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + strerror(errno);
    return;
  }
  stop_read_.Reset(stop_pipe[0]);
  stop_write_.Reset(stop_pipe[1]);
  terminal_path_ = name;
  thread_ = std::thread(&Hub::Serve, this);
}

Hub::~Hub() {
  if (thread_.joinable()) {
    char byte = 0;
    while (write(stop_write_.get(), &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  HangUp();
}

void Hub::HangUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  master_.Reset();
  terminal_.Reset();
}

std::vector<std::string> Hub::Frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> frames;
  for (const FrameRecord& record : records_) frames.push_back(record.bytes);
  return frames;
}

std::vector<FrameRecord> Hub::Records() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

std::string Hub::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

HubConfig Hub::Config() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_;
}

void Hub::SetFaults(const Faults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_ = faults;
}

bool Hub::Pause(int64_t microseconds) {
  const int64_t until = NowMicros() + microseconds;
  for (;;) {
    const int64_t left = std::max<int64_t>(0, until - NowMicros());
    const struct timespec wait = {static_cast<time_t>(left / 1000000),
                                  static_cast<long>(left % 1000000 * 1000)};
    struct pollfd stop = {stop_read_.get(), POLLIN, 0};
    const int ready = ppoll(&stop, 1, &wait, nullptr);
    if (ready == 0) return true;
    if (ready > 0 || errno != EINTR) return false;
  }
}

// Returns how many bytes were read, or -1 once the hub is to stop.
ssize_t Hub::ReadTerminal(char* buf, size_t size) {
  for (;;) {
    struct pollfd pfds[2] = {{stop_read_.get(), POLLIN, 0},
                             {master_.get(), POLLIN, 0}};
    if (poll(pfds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (pfds[0].revents) return -1;
    const ssize_t got = read(master_.get(), buf, size);
    if (got > 0) return got;
    if (got < 0 && errno == EINTR) continue;
    // No terminal side open for a moment; wait instead of spinning.
    if (!Pause(1000)) return -1;
  }
}

// Keeps a received byte; once it ends a frame, records the frame with the
// line settings it came with (a copy in *record) and returns its number,
// else -1.
int64_t Hub::Keep(char byte, const std::string& frame, FrameRecord* record,
                  bool* wire_time) {
  std::lock_guard<std::mutex> lock(mutex_);
  received_ += byte;
  if (byte != '\r') return -1;
  record->bytes = frame;
  record->arrived_micros = NowMicros();
  (void)tcgetattr(master_.get(), &record->line);
  records_.push_back(*record);
  *wire_time = faults_.wire_time;
  return static_cast<int64_t>(records_.size()) - 1;
}

void Hub::Serve() {
  // Wake-ups on time to the microsecond, for the wire-time emulation.
  (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  int32_t deaf_ms;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    deaf_ms = faults_.deaf_ms;
  }
  if (deaf_ms > 0 && !Pause(int64_t{deaf_ms} * 1000)) return;
  std::string frame;
  int64_t frame_start = 0;
  char buf[256];
  for (;;) {
    const ssize_t got = ReadTerminal(buf, sizeof buf);
    if (got < 0) return;
    for (ssize_t k = 0; k < got; ++k) {
      if (frame.empty()) frame_start = NowMicros();
      frame += buf[k];
      bool wire_time = false;
      FrameRecord record;
      const int64_t number = Keep(buf[k], frame, &record, &wire_time);
      if (number < 0) continue;
      if (watcher_) watcher_(record);
      const int64_t arrived =
          frame_start + static_cast<int64_t>(frame.size()) * kWireMicrosPerByte;
      if (wire_time && !Pause(arrived - NowMicros())) return;
      Answer(frame, static_cast<size_t>(number));
      if (!master_.valid()) return;
      frame.clear();
    }
  }
}

void Hub::Answer(const std::string& frame, size_t number) {
  Faults faults;
  std::string reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    faults = faults_;
    if (faults.silent) return;
    auto by_number = faults.replies_by_frame.find(static_cast<int32_t>(number));
    auto by_code = faults.replies.find(frame.substr(0, 2));
    if (by_number != faults.replies_by_frame.end())
      reply = by_number->second;
    else if (by_code != faults.replies.end())
      reply = by_code->second;
    else
      reply = Respond(frame, &config_);
  }
  if (reply.empty()) return;
  SendReply(reply, faults);
}

namespace {

// The bytes the faults let through: the reply cut short, or followed by
// bytes nobody asked for.
std::string BytesToSend(const std::string& reply, const Faults& faults,
                        bool* hang_up) {
  size_t limit = reply.size();
  bool complete = true;
  if (faults.cut_after_bytes >= 0 &&
      static_cast<size_t>(faults.cut_after_bytes) < limit) {
    limit = faults.cut_after_bytes;
    complete = false;
  }
  *hang_up = faults.hang_up_after_bytes >= 0 &&
             static_cast<size_t>(faults.hang_up_after_bytes) <= limit;
  if (*hang_up) {
    limit = faults.hang_up_after_bytes;
    complete = false;
  }
  std::string bytes = reply.substr(0, limit);
  if (complete) bytes += faults.unasked;
  return bytes;
}

}  // namespace

bool Hub::SendReply(const std::string& reply, const Faults& faults) {
  if (faults.reply_delay_ms > 0 &&
      !Pause(int64_t{faults.reply_delay_ms} * 1000))
    return false;
  bool hang_up = false;
  const std::string bytes = BytesToSend(reply, faults, &hang_up);
  if (!WritePaced(bytes, faults)) return false;
  if (hang_up) {
    Pause(kHangUpSettleMicros);
    HangUp();
  }
  return true;
}

// Each byte leaves the adapter at the first timer tick after it came off
// the wire (all of them at the first tick, without wire time).
bool Hub::WriteThroughAdapter(const std::string& bytes, const Faults& faults) {
  const int64_t tick =
      int64_t{std::max<int32_t>(1, faults.latency_timer_ms())} * 1000;
  // When byte n (from 0) is off the wire, from the reply's start.
  auto off_wire = [&](size_t n) {
    return faults.wire_time ? static_cast<int64_t>(n + 1) * kWireMicrosPerByte
                            : 0;
  };
  const int64_t start = NowMicros();
  size_t sent = 0;
  while (sent < bytes.size()) {
    const int64_t leaves = (off_wire(sent) / tick + 1) * tick;
    size_t end = sent + 1;
    while (end < bytes.size() && off_wire(end) < leaves) ++end;
    if (!Pause(start + leaves - NowMicros())) return false;
    const ssize_t n = write(master_.get(), bytes.data() + sent, end - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool Hub::WritePaced(const std::string& bytes, const Faults& faults) {
  if (faults.latency_timer_ms) return WriteThroughAdapter(bytes, faults);
  const bool paced = faults.byte_gap_ms > 0 || faults.wire_time;
  // Wire time is kept against the clock, so that late wake-ups do not add
  // up over a reply.
  const int64_t start = NowMicros();
  size_t sent = 0;
  while (sent < bytes.size()) {
    if (paced && sent > 0 && faults.byte_gap_ms > 0 &&
        !Pause(int64_t{faults.byte_gap_ms} * 1000))
      return false;
    if (faults.wire_time &&
        !Pause(start + static_cast<int64_t>(sent + 1) * kWireMicrosPerByte -
               NowMicros()))
      return false;
    size_t chunk = paced ? 1 : bytes.size() - sent;
    ssize_t n = write(master_.get(), bytes.data() + sent, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::function<int32_t()> LatencyTimerFromQemuTrace(const std::string& path) {
  struct Trace {
    int64_t offset = 0;
    std::string partial;  // a line not yet ended
    int32_t timer_ms = 16;
  };
  auto trace = std::make_shared<Trace>();
  return [path, trace] {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat file;
    if (!fd.valid() || fstat(fd.get(), &file) != 0) return trace->timer_ms;
    if (file.st_size < trace->offset) *trace = Trace{0, "", trace->timer_ms};
    char chunk[4096];
    ssize_t got;
    while ((got = pread(fd.get(), chunk, sizeof chunk, trace->offset)) > 0) {
      trace->offset += got;
      trace->partial.append(chunk, static_cast<size_t>(got));
    }
    size_t end;
    while ((end = trace->partial.find('\n')) != std::string::npos) {
      const std::string line = trace->partial.substr(0, end);
      trace->partial.erase(0, end + 1);
      unsigned value = 0;
      const size_t at = line.find("got control 0x4009, value ");
      if (at != std::string::npos &&
          std::sscanf(line.c_str() + at, "got control 0x4009, value %x",
                      &value) == 1)
        trace->timer_ms = static_cast<int32_t>(value & 0xFF);
    }
    return trace->timer_ms;
  };
}

}  // namespace hubsim
