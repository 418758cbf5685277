// In-process tests against simulated hubs: a command runs inside the test
// process and opens the hub's pseudo-terminal directly.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "commands/outcome.h"
#include "commands/request.h"
#include "hubsim.h"

// The byte wait of one exchange, in seconds: 10 s plus 100 ms.
constexpr double kByteWait = 10.1;
// Slack for a loaded machine; upper time bounds hold on native builds only.
constexpr double kSlack = 0.5;

class LineCollector : public LineSink {
 public:
  void Line(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

hubsim::HubConfig HubWith(const std::string& ports, uint32_t states,
                          const std::string& firmware = "2.1");
hubsim::Faults Answering(const std::string& code, const std::string& reply);
hubsim::Faults Silent();

// A hub for the length of one test.
std::unique_ptr<hubsim::Hub> StartHub(hubsim::HubConfig config = {},
                                      hubsim::Faults faults = {});

// Parses "tarvo" + args as the command line (the port part names
// ttyUSB0), points the request at device and runs it.
Outcome RunCommandOn(const std::string& device,
                     const std::vector<std::string>& args, LineCollector* out);

double SecondsSince(int64_t start_us);

// True where upper time bounds are asserted: a native, unsanitized build.
bool TimingIsNative();
