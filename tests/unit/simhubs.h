// In-process tests against simulated hubs: a command runs inside the test
// process and opens the hub's pseudo-terminal directly.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "commands/outcome.h"
#include "hubsim.h"

using hubsim::Answering;
using hubsim::HubWith;
using hubsim::Silent;

// The byte wait of one exchange, in seconds: 10 s plus 100 ms.
constexpr double kByteWait = 10.1;
// Slack for a loaded machine; upper time bounds hold on native builds only.
constexpr double kSlack = 0.5;

class LineCollector : public LineSink {
 public:
  void Line(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

std::unique_ptr<hubsim::Hub> StartHub(hubsim::HubConfig config = {},
                                      hubsim::Faults faults = {});

// Parses "tarvo" + args as the command line (the port part names
// ttyUSB0), points the request at device and runs it.
Outcome RunCommandOn(const std::string& device,
                     const std::vector<std::string>& args, LineCollector* out);

double SecondsSince(int64_t start_us);

// What python3's json module reads at path ("[\"hubs\"][0]") in a
// document: a string as the hex of its code points taken as bytes,
// anything else as JSON again.
std::string ParsedByPython(const std::string& document, const std::string& path);

// Asserts an upper time bound where one holds: a native, unsanitized build.
void ExpectAtMost(double seconds, double bound);

// A directory of the test's own, removed with what is in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
