#include "simhubs.h"

#include <unistd.h>

#include "commandline.h"
#include "dispatch.h"

std::unique_ptr<hubsim::Hub> StartHub(hubsim::HubConfig config,
                                      hubsim::Faults faults) {
  auto hub = std::make_unique<hubsim::Hub>(config, faults);
  EXPECT_EQ("", hub->Error());
  return hub;
}

TestRig::TestRig()
    : settings_{devices_.path() + "/",
                {locks_.path()},
                {},
                kTestByteWaitUs,
                kTestLockWaitUs} {}

void TestRig::Link(const std::string& name, const std::string& target) {
  EXPECT_EQ(0, symlink(target.c_str(), Device(name).c_str())) << name;
}

Outcome RunCommand(const TestRig& rig, const std::vector<std::string>& args,
                   LineCollector* out) {
  std::vector<const char*> argv = {"tarvo"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  const ParsedCommandLine parsed = ParseCommandLine(
      static_cast<int>(argv.size()), argv.data(), rig.settings().device_dir);
  if (parsed.Refused()) return parsed.refusal;
  return RunRequest(parsed.request, rig.settings(), *out);
}

Outcome RunCommandOn(const std::string& device,
                     const std::vector<std::string>& args, LineCollector* out) {
  TestRig rig;
  rig.Link("ttyUSB0", device);
  return RunCommand(rig, args, out);
}
