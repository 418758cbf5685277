// tarvo: one command per run against a Managed USB Hub.
//
// main() is the only place that writes to the real standard output and
// the only place that decides the exit status: 0 on success and for the
// help screen, 2 when the command line is wrong ("Invalid Command!",
// "DoCommandError"), 1 for every other message, and 1 too when a result
// could not be written (a closed or full standard output), so that a
// script never takes a lost result for success. A deadly signal held
// during a power cycle ends the run once its line is out, with 128 and
// the signal's number. Standard error gets the reasons (catalogue.h): one
// line for a failure, and one for each device a scan passed over; nothing
// else, and nothing at all on success.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "catalogue.h"
#include "dispatch.h"
#include "linksettings.h"
#include "signals/deadlysignals.h"

namespace {

// The machine's waits: a hub's byte wait is 10 s, and every command gives
// its exchanges 100 ms on top; another run holds a hub for at most one
// command, well under 30 s; a lock file left by another program is looked
// at again every 10 ms.
constexpr int64_t kByteWaitMicros = 10100000;
constexpr int64_t kLockWaitMicros = 30000000;
constexpr int64_t kLockRecheckMicros = 10000;

// Where /var/lock leads to /run/lock (as on Debian) one look is enough.
std::vector<std::string> HostLockFileDirs() {
  std::vector<std::string> dirs = {"/run/lock"};
  struct stat run_lock, var_lock;
  if (stat("/var/lock", &var_lock) != 0 || stat("/run/lock", &run_lock) != 0 ||
      var_lock.st_dev != run_lock.st_dev || var_lock.st_ino != run_lock.st_ino)
    dirs.push_back("/var/lock");
  return dirs;
}

LinkSettings HostLinkSettings() {
  return {"/dev/",
          HostLockFileDirs(),
          {"/dev/serial/by-id", "/dev/serial/by-path"},
          kByteWaitMicros,
          kLockWaitMicros,
          kLockRecheckMicros};
}

// TARVO_PASSWORD: the password, kept out of the command line that every
// local user can read; unset or empty, there is none.
std::optional<std::string> PasswordFromEnvironment() {
  const char* value = std::getenv("TARVO_PASSWORD");
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// A failed write leaves the stream's error flag set, which the exit
// status then reports. The reasons wait until the run's output is out, so
// that each reads below the line it explains.
class StandardOutput : public LineSink {
 public:
  void Line(const std::string& text) override {
    if (fwrite(text.data(), 1, text.size(), stdout) == text.size())
      (void)fputc('\n', stdout);
  }
  void Flush() override { (void)fflush(stdout); }
  void Explain(const Reason& reason) override {
    reasons_ += ReasonText(reason) + "\n";
  }
  // Standard error is unbuffered: the reasons go out in one write.
  void WriteReasons() {
    (void)fwrite(reasons_.data(), 1, reasons_.size(), stderr);
  }

 private:
  std::string reasons_;
};

// A closed 0, 1 or 2 would be handed to the first device the run opens,
// and output meant for the user would go into a hub. Read-only /dev/null
// takes its place: output to a closed stream still fails.
bool ReserveStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    const int opened = open("/dev/null", O_RDONLY);
    if (opened != fd) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Without the reservation a device could become standard output; the
  // run must then not open one at all.
  if (!ReserveStandardDescriptors()) return kExitFailure;
  AskForRestoreOnDeadlySignals();
  StandardOutput out;
  const RunEnd end = RunCommandLine(argc, argv, PasswordFromEnvironment(),
                                    HostLinkSettings(), out);
  const bool output_lost = fflush(stdout) != 0 || ferror(stdout) != 0;
  out.WriteReasons();
  if (end.held_signal != 0) EndRunBySignal(end.held_signal);
  const int32_t status = ExitStatus(end.outcome);
  if (status == kExitSuccess && output_lost) return kExitFailure;
  return status;
}
