#include "fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "devns.h"

std::string g_private_dev_error;

void E2E::SetUp() {
  if (g_private_dev_error.empty()) return;
  const char* required = std::getenv("TARVO_E2E_REQUIRED");
  if (required != nullptr && std::string(required) == "1")
    FAIL() << "no private /dev for the end-to-end tests: "
           << g_private_dev_error;
  GTEST_SKIP() << "no private /dev for the end-to-end tests: "
               << g_private_dev_error;
}

void E2E::TearDown() {
  for (const std::string& link : links_) unlink(("/dev/" + link).c_str());
  hubs_.clear();
}

hubsim::Hub& E2E::AddHub(int index, hubsim::HubConfig config,
                         hubsim::Faults faults) {
  hubs_.push_back(std::make_unique<hubsim::Hub>(config, faults));
  hubsim::Hub& hub = *hubs_.back();
  EXPECT_EQ(hub.Error(), "");
  AddLink("ttyUSB" + std::to_string(index), hub.TerminalPath());
  return hub;
}

void E2E::AddLink(const std::string& name, const std::string& target) {
  EXPECT_EQ(hubsim::LinkDevice(name, target), "");
  links_.push_back(name);
}

hubsim::RunResult E2E::Tarvo(const std::vector<std::string>& args,
                             double timeoutSeconds,
                             const std::string& stdinPath) {
  return hubsim::Run(TarvoArgv(args), timeoutSeconds, stdinPath);
}

std::vector<std::string> TarvoArgv(const std::vector<std::string>& args,
                                   std::vector<std::string> prefix) {
  std::vector<std::string> argv = std::move(prefix);
  for (const std::string& word : hubsim::SplitWords(TARVO_LAUNCHER))
    argv.push_back(word);
  argv.push_back(TARVO_EXE);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

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

std::vector<std::string> AfterShell(const std::string& setup) {
  return {"sh", "-c", setup + "; exec \"$@\"", "sh"};
}

bool LineOf(const std::string& name, struct termios* line) {
  const int fd = open(("/dev/" + name).c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  const bool read = tcgetattr(fd, line) == 0;
  close(fd);
  return read;
}
