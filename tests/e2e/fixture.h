// End-to-end tests: the real tarvo executable against simulated hubs that
// appear as /dev/ttyUSBn in a private /dev (see tools/hubsim/devns.h).
#pragma once

#include <gtest/gtest.h>
#include <termios.h>

#include <memory>
#include <string>
#include <vector>

#include "hubsim.h"
#include "runner.h"

// Set by main() before any test runs: "" when the private /dev is ready.
extern std::string g_private_dev_error;

// The byte wait of one exchange: 10 s plus 100 ms.
constexpr double kByteWait = 10.1;
// Slack for process start-up and a loaded machine.
constexpr double kSlack = 3;

class E2E : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a simulated hub that appears as /dev/ttyUSB<index>.
  hubsim::Hub& AddHub(int index, hubsim::HubConfig config = {},
                      hubsim::Faults faults = {});
  // Makes /dev/<name> point at target (a file, a missing path, ...).
  void AddLink(const std::string& name, const std::string& target);

  // Runs tarvo with args; standard input is /dev/null unless stdinPath
  // says otherwise ("" closes it).
  hubsim::RunResult Tarvo(const std::vector<std::string>& args,
                          double timeoutSeconds = 60,
                          const std::string& stdinPath = "/dev/null");

 private:
  std::vector<std::unique_ptr<hubsim::Hub>> hubs_;
  std::vector<std::string> links_;
};

// A hub configured with port count text, states and firmware.
hubsim::HubConfig HubWith(const std::string& ports, uint32_t states,
                      const std::string& firmware = "2.1");

// The command line that runs tarvo with args: prefix (a user switch, a
// shell), the launcher CMake gave, the executable under test.
std::vector<std::string> TarvoArgv(const std::vector<std::string>& args,
                                   std::vector<std::string> prefix = {});

// Faults that replace the hub's answer to one message code.
hubsim::Faults Answering(const std::string& code, const std::string& reply);

// A shell prefix for TarvoArgv() that runs the line after `setup`.
std::vector<std::string> AfterShell(const std::string& setup);

// Reads /dev/<name>'s line settings; false when it cannot be opened.
bool LineOf(const std::string& name, struct termios* line);

// Asserts the whole outcome of a run: standard output, nothing on
// standard error, the exit status.
#define EXPECT_RUN(result, expectedOut, expectedStatus)   \
  do {                                                    \
    const hubsim::RunResult& r_ = (result);               \
    EXPECT_EQ(r_.out, expectedOut);                       \
    EXPECT_EQ(r_.err, "");                                \
    EXPECT_EQ(r_.status, expectedStatus);                 \
    EXPECT_FALSE(r_.timedOut);                            \
  } while (0)
