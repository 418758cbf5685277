#include "simhubs.h"

#include "commandline.h"
#include "dispatch.h"
#include "link/clock.h"

hubsim::HubConfig HubWith(const std::string& ports, uint32_t states,
                          const std::string& firmware) {
  hubsim::HubConfig config;
  config.portCount = ports;
  config.states = states;
  config.firmware = firmware;
  return config;
}

hubsim::Faults Answering(const std::string& code, const std::string& reply) {
  hubsim::Faults faults;
  faults.replies[code] = reply;
  return faults;
}

hubsim::Faults Silent() {
  hubsim::Faults faults;
  faults.silent = true;
  return faults;
}

std::unique_ptr<hubsim::Hub> StartHub(hubsim::HubConfig config,
                                      hubsim::Faults faults) {
  auto hub = std::make_unique<hubsim::Hub>(config, faults);
  EXPECT_EQ("", hub->Error());
  return hub;
}

Outcome RunCommandOn(const std::string& device,
                     const std::vector<std::string>& args, LineCollector* out) {
  std::vector<const char*> argv = {"tarvo"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  ParsedCommandLine parsed =
      ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  if (parsed.Refused()) return parsed.refusal;
  parsed.request.device = device;
  return RunRequest(parsed.request, *out);
}

double SecondsSince(int64_t start_us) {
  return static_cast<double>(MonotonicMicros() - start_us) / 1e6;
}

bool TimingIsNative() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__) || \
    defined(__arm__)
  return false;
#else
  return true;
#endif
}
