#include "simhubs.h"

#include <unistd.h>

#include "catalogue.h"
#include "dispatch.h"
#include "locks/hublock.h"

namespace {

// A flush shows as a line of its own: where the lines so far became
// visible.
class LineCollector : public LineSink {
 public:
  void Line(const std::string& text) override { lines.push_back(text); }
  void Flush() override { lines.push_back(kFlushed); }
  void Explain(const Reason& reason) override {
    (reason.passed_over ? passed_over : reasons).push_back(ReasonText(reason));
  }
  std::vector<std::string> lines;
  std::vector<std::string> reasons;
  std::vector<std::string> passed_over;
};

}  // namespace

std::unique_ptr<hubsim::Hub> StartHub(hubsim::HubConfig config,
                                      hubsim::Faults faults) {
  auto hub = std::make_unique<hubsim::Hub>(config, faults);
  EXPECT_EQ("", hub->Error());
  return hub;
}

TestRig::TestRig()
    : settings_{
          devices_.path() + "/", {locks_.path()}, {devices_ / "serial/by-id"},
          kTestByteWaitUs,       kTestLockWaitUs, kTestLockRecheckUs} {}

void TestRig::Link(const std::string& name, const std::string& target) {
  EXPECT_EQ(0, symlink(target.c_str(), Device(name).c_str())) << name;
}

hubsim::Hub& TestRig::AddHub(const std::string& name, hubsim::HubConfig config,
                             hubsim::Faults faults) {
  Link(name, hubs_.emplace_back(StartHub(config, faults))->TerminalPath());
  return *hubs_.back();
}

std::string TestRig::Run(const std::vector<std::string>& args,
                         const std::optional<std::string>& password) const {
  std::vector<const char*> argv = {"tarvo"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  LineCollector out;
  const RunEnd end = RunCommandLine(static_cast<int>(argv.size()), argv.data(),
                                    password, settings_, out);
  // A failure says why in one line; a success says nothing but what a
  // scan passed over.
  EXPECT_EQ(out.reasons.size(), end.outcome == Outcome::kSuccess ? 0u : 1u)
      << testing::PrintToString(out.reasons);
  reasons_ = out.reasons;
  reasons_.insert(reasons_.end(), out.passed_over.begin(),
                  out.passed_over.end());
  std::string printed;
  for (const std::string& line : out.lines) printed += line + "\n";
  return printed + "(" + std::to_string(ExitStatus(end.outcome)) + ")";
}
