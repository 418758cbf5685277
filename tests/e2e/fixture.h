// End-to-end tests: the real executables against simulated hubs that
// appear as /dev/ttyUSBn in a private /dev (see tools/sandbox/devns.h).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hubsim.h"
#include "runner.h"
#include "testkit.h"

using hubsim::HubWith;

// Set by main() before any test runs: "" when the private /dev is ready.
extern std::string g_private_dev_error;

// Slack for process start-up and a loaded machine.
constexpr double kSlack = 3;

class E2E : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a simulated hub that appears as /dev/ttyUSB<index>.
  hubsim::Hub& AddHub(int index, hubsim::HubConfig config = {},
                      hubsim::Faults faults = {});
  // The hub added n-th, from 0.
  hubsim::Hub& Hub(size_t n) { return *hubs_.at(n); }

  // Runs tarvo with args; standard input is /dev/null unless stdin_path
  // says otherwise ("" closes it).
  sandbox::RunResult Tarvo(const std::vector<std::string>& args,
                           double timeout_seconds = 60,
                           const std::string& stdin_path = "/dev/null");

 private:
  std::vector<std::unique_ptr<hubsim::Hub>> hubs_;
  std::vector<std::string> links_;
};

// The command line that runs tarvo with args: the launcher CMake gave and
// the executable under test, behind a shell running setup first if any.
std::vector<std::string> TarvoArgv(const std::vector<std::string>& args,
                                   const std::string& setup = "");

// One run of tarvo: its arguments, a shell set-up run first, a signal sent
// once `when` is true, the signals blocked at its start.
struct TarvoRun {
  std::vector<std::string> args;
  std::string setup = "";
  int signal = 0;
  std::function<bool()> when = {};
  std::vector<int> blocked = {};
};

// True once hub has received frames frames: the moment to send a signal.
std::function<bool()> AfterFrames(const hubsim::Hub& hub, size_t frames);

// Starts the runs side by side and waits for them all.
std::vector<sandbox::RunResult> RunSideBySide(
    const std::vector<TarvoRun>& runs);

// What a failed run leaves on standard error: lines that each start with
// the program's name, at least one.
inline bool AreReasonLines(const std::string& err) {
  if (err.empty() || err.back() != '\n') return false;
  for (size_t start = 0; start < err.size(); start = err.find('\n', start) + 1)
    if (err.compare(start, 7, "tarvo: ") != 0) return false;
  return true;
}

// Asserts the whole outcome of a run: standard output, the exit status,
// and standard error: nothing on success, reasons on failure.
#define EXPECT_RUN(result, expected_out, expected_status) \
  do {                                                    \
    const sandbox::RunResult& r_ = (result);              \
    EXPECT_EQ(r_.out, expected_out);                      \
    if ((expected_status) == 0)                           \
      EXPECT_EQ(r_.err, "");                              \
    else                                                  \
      EXPECT_PRED1(AreReasonLines, r_.err);               \
    EXPECT_EQ(r_.status, expected_status);                \
    EXPECT_FALSE(r_.timed_out);                           \
  } while (0)
