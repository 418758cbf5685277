// tarvo-demo: a short session of real tarvo commands against two
// simulated hubs that appear as /dev/ttyUSB0 and /dev/ttyUSB3, inside a
// private /dev of this process (nothing on the machine's /dev changes).
//
//   tarvo-demo [path/to/tarvo]
#include <iostream>
#include <string>
#include <vector>

#include "devns.h"
#include "hubsim.h"
#include "runner.h"

namespace {

const char kDefaultTarvo[] = "tarvo";
constexpr double kCommandTimeoutSeconds = 60;

int Show(const std::string& tarvo, const std::vector<std::string>& args) {
  std::string line = "$ tarvo";
  for (const std::string& arg : args) line += " " + arg;
  std::cout << line << std::endl;
  std::vector<std::string> argv = {tarvo};
  argv.insert(argv.end(), args.begin(), args.end());
  hubsim::RunResult r = hubsim::Run(argv, kCommandTimeoutSeconds);
  std::cout << r.out << r.err;
  std::cout << "[exit status " << r.status << "]\n" << std::endl;
  return r.status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string tarvo = argc > 1 ? argv[1] : kDefaultTarvo;
  std::string error = hubsim::EnterPrivateDev();
  if (!error.empty()) {
    std::cerr << "tarvo-demo: cannot make a private /dev (" << error
              << "); run it as root or enable user namespaces\n";
    return 1;
  }

  hubsim::HubConfig four;
  four.portCount = "04";
  four.states = 0x5;
  four.firmware = "1.3";
  hubsim::HubConfig twelve;
  twelve.portCount = "12";
  twelve.states = 0xA00;
  twelve.firmware = "2.1";
  hubsim::Hub hub0(four);
  hubsim::Hub hub3(twelve);
  for (hubsim::Hub* hub : {&hub0, &hub3}) {
    if (!hub->Error().empty()) {
      std::cerr << "tarvo-demo: " << hub->Error() << "\n";
      return 1;
    }
  }
  if (!(error = hubsim::LinkDevice("ttyUSB0", hub0.TerminalPath())).empty() ||
      !(error = hubsim::LinkDevice("ttyUSB3", hub3.TerminalPath())).empty()) {
    std::cerr << "tarvo-demo: " << error << "\n";
    return 1;
  }

  std::cout << "Two simulated hubs: ttyUSB0 (4 ports) and ttyUSB3 (12 ports)."
            << "\n\n";
  const std::vector<std::vector<std::string>> session = {
      {"/Q"},
      {"/Q", "-F"},
      {"/Q:ttyUSB3", "-F"},
      {"/G:ttyUSB0"},
      {"/S:ttyUSB0", "1:2"},
      {"/S:ttyUSB0", "T:1,4"},
      {"/G:ttyUSB0"},
      {"/G:ttyUSB0", "-B"},
      {"/F:ttyUSB3", "H:F00"},
      {"/G:ttyUSB3", "-H"},
      {"/G:ttyUSB3"},
      {"/S:ttyUSB3", "guess", "0:ALL"},
      {"/G:ttyUSB7"},
  };
  for (const auto& args : session) Show(tarvo, args);
  return 0;
}
