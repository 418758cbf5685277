// In-process tests against simulated hubs. A command runs inside the test
// process under settings of the test's own (a TestRig): a device folder in
// which hub names lead to simulated hubs' pseudo-terminals, with stable
// names in its serial/by-id when a test makes that, a lock-file folder of
// its own, and short waits.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hubsim.h"
#include "linksettings.h"
#include "outcome.h"
#include "testkit.h"

using hubsim::Answering;
using hubsim::HubWith;
using hubsim::Silent;

// The waits of in-process tests: a silent hub costs half a second.
constexpr int64_t kTestByteWaitUs = 500000;
constexpr double kTestByteWait = 0.5;
constexpr int64_t kTestLockWaitUs = 500000;
constexpr int64_t kTestLockRecheckUs = 10000;
// Slack for a loaded machine, small enough that a wait twice as long shows.
constexpr double kSlack = 0.3;

std::unique_ptr<hubsim::Hub> StartHub(hubsim::HubConfig config = {},
                                      hubsim::Faults faults = {});

// What TestRig::Run shows where the command flushed its output.
inline constexpr char kFlushed[] = "(flushed)";

class TestRig {
 public:
  TestRig();
  // Makes the name (a hub name or any other) in the device folder a link
  // to target.
  void Link(const std::string& name, const std::string& target);
  // Starts a hub behind the name, for as long as the rig lives.
  hubsim::Hub& AddHub(const std::string& name, hubsim::HubConfig config = {},
                      hubsim::Faults faults = {});
  std::string Device(const std::string& name) const { return devices_ / name; }
  const std::string& LockDir() const { return locks_.path(); }
  const LinkSettings& settings() const { return settings_; }
  // Runs "tarvo" + args as main() does, under the rig's settings: the
  // lines it prints, its message last when it has one, each with its
  // newline, then its exit status ("ID Err\n(1)"); a flush shows as a
  // kFlushed line. password stands for TARVO_PASSWORD's value.
  std::string Run(const std::vector<std::string>& args,
                  const std::optional<std::string>& password = {}) const;
  // The reasons the last Run() gave, as standard error shows them.
  const std::vector<std::string>& Reasons() const { return reasons_; }

 private:
  TempDir devices_;
  TempDir locks_;
  LinkSettings settings_;
  std::vector<std::unique_ptr<hubsim::Hub>> hubs_;
  mutable std::vector<std::string> reasons_;
};
