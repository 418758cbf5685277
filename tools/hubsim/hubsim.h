// A simulated Managed USB Hub controller on a pseudo-terminal.
//
// A Hub opens a pty pair and serves the hub protocol on its master side
// from a thread of its own; a program under test opens the terminal side
// (TerminalPath(), a /dev/pts/N) as if it were the hub's serial port. The
// hub keeps what a real controller keeps: current port states, power-on
// states in "flash", a password and factory defaults. It records every
// frame it receives, byte for byte, and can be told to misbehave in the
// ways a broken device or line does (Faults).
//
// The simulator holds the terminal side open itself, so the pair survives
// between the short-lived opens of the program under test.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/uniquefd.h"

namespace hubsim {

extern const char kDefaultPassword[];

struct HubConfig {
  std::string id = "KORVEN";
  std::string model = " HUB";     // reply positions 6 to 9, never read
  std::string port_count = "08";  // reply positions 10 and 11, as sent
  std::string firmware = "2.1";   // reply positions 12 to 14
  uint32_t states = 0;            // bit n-1 is port n
  uint32_t flash = 0;             // power-on states
  std::string password = kDefaultPassword;
  uint32_t factory_states = 0xFFFFFFFFu;
};

struct Faults {
  bool silent = false;  // receives and records, never answers
  // Exact reply bytes for a message code ("?Q", "GP", ...), in place of
  // the hub's own answer; an empty text makes that message go unanswered.
  std::map<std::string, std::string> replies;
  int32_t reply_delay_ms = 0;  // before the first byte of every reply
  int32_t byte_gap_ms = 0;     // between the bytes of a reply
  // 9600 baud 8N1 on the wire: a frame is taken in only after its bytes
  // would have arrived, and reply bytes leave 10 bit times apart.
  bool wire_time = false;
  int32_t cut_after_bytes = -1;      // send only this many bytes of a reply
  int32_t hang_up_after_bytes = -1;  // close the line after this many bytes
  int32_t deaf_ms = 0;  // reads nothing at first: what is sent piles up
  std::string unasked;  // sent right behind every reply
  // Exact reply bytes by frame number (0 for the first frame the hub
  // receives), ahead of everything above; "" leaves that frame unanswered.
  std::map<int32_t, std::string> replies_by_frame;
  // A USB adapter with a latency timer between the hub and the program,
  // as FTDI documents its chips (AN232B-04): bytes short of a full packet
  // wait in the chip until the timer runs out, so each byte of a reply
  // leaves at the first tick after it came off the wire, the ticks
  // starting with the reply. The timer in ms as the adapter's driver last
  // set it, asked at each reply; null for no adapter.
  std::function<int32_t()> latency_timer_ms;
};

// One frame as the hub received it.
struct FrameRecord {
  std::string bytes;           // ends with its '\r'
  int64_t arrived_micros = 0;  // NowMicros() when its '\r' arrived
  // The line as the program had set it when the frame arrived, read on
  // the master side (where a pty shows speed, CLOCAL, CREAD and modes).
  struct termios line = {};
};

// The hub's own answer to a frame, updating *config as a controller
// would; empty when the frame goes unanswered.
std::string Respond(const std::string& frame, HubConfig* config);

// Microseconds on the steady clock, which frame records are timed by.
int64_t NowMicros();

// "A6010000" for ports 2, 3, 6, 8 and 9 on.
std::string StateHex(uint32_t states);
// The reverse, either case, as a frame or a setting gives it: false unless
// text is exactly 8 hex digits.
bool ParseStateField(const std::string& text, uint32_t* states);

// Shorthands for tests and benchmarks: a hub with this port count text,
// states and firmware; one that answers code with reply; one that never
// answers.
HubConfig HubWith(const std::string& ports, uint32_t states,
                  const std::string& firmware = "2.1");
Faults Answering(const std::string& code, const std::string& reply);
Faults Silent();

// The latency timer an emulated FT232 was last set to, read from QEMU's
// trace of its control requests (-trace usb_serial_handle_control):
// "got control 0x4009, value 0xN" sets N ms, and 16, the chip's own, holds
// until one does. The trace is read on from where the last call ended.
std::function<int32_t()> LatencyTimerFromQemuTrace(const std::string& path);

// Called on the hub's own thread with each frame as it is recorded.
using FrameWatcher = std::function<void(const FrameRecord&)>;

class Hub {
 public:
  explicit Hub(HubConfig config = {}, Faults faults = {},
               FrameWatcher watcher = {});
  ~Hub();
  Hub(const Hub&) = delete;
  Hub& operator=(const Hub&) = delete;

  // Empty when the pty could not be made; Error() says why.
  const std::string& TerminalPath() const { return terminal_path_; }
  const std::string& Error() const { return error_; }

  std::vector<std::string> Frames() const;  // each ends with its '\r'
  std::vector<FrameRecord> Records() const;
  std::string Received() const;  // every byte, in order
  HubConfig Config() const;
  void SetFaults(const Faults& faults);

 private:
  void Serve();
  ssize_t ReadTerminal(char* buf, size_t size);
  int64_t Keep(char byte, const std::string& frame, FrameRecord* record,
               bool* wire_time);
  void Answer(const std::string& frame, size_t number);
  bool SendReply(const std::string& reply, const Faults& faults);
  bool WritePaced(const std::string& bytes, const Faults& faults);
  bool WriteThroughAdapter(const std::string& bytes, const Faults& faults);
  bool Pause(int64_t microseconds);  // false when asked to stop
  void HangUp();

  mutable std::mutex mutex_;
  HubConfig config_;
  Faults faults_;
  const FrameWatcher watcher_;
  std::vector<FrameRecord> records_;
  std::string received_;

  std::string terminal_path_;
  std::string error_;
  UniqueFd master_;
  UniqueFd terminal_;
  UniqueFd stop_read_;  // readable when the serving thread is to stop
  UniqueFd stop_write_;
  std::thread thread_;
};

}  // namespace hubsim
