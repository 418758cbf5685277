// tarvo-demo: a short session of real tarvo commands against two
// simulated hubs that appear as /dev/ttyUSB0 and /dev/ttyUSB3, inside a
// private /dev of this process (nothing on the machine's /dev changes).
//
//   tarvo-demo [path/to/tarvo]
//
// Without a path it runs the tarvo beside itself, else the one on PATH.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "demohubs.h"
#include "devns.h"
#include "runner.h"

namespace {

constexpr double kCommandTimeoutSeconds = 60;

const char kUsage[] =
    "usage: tarvo-demo [path/to/tarvo]\n"
    "Plays a short session of tarvo commands against two simulated hubs,\n"
    "ttyUSB0 (4 ports) and ttyUSB3 (12 ports), in a private /dev. Without a\n"
    "path it runs the tarvo beside tarvo-demo, else the one on PATH.\n";

int Show(const std::string& tarvo, const std::vector<std::string>& args) {
  std::string line = "$ tarvo";
  for (const std::string& arg : args) line += " " + arg;
  std::cout << line << std::endl;
  std::vector<std::string> argv = {tarvo};
  argv.insert(argv.end(), args.begin(), args.end());
  sandbox::RunResult r = sandbox::Run(argv, kCommandTimeoutSeconds);
  if (r.status < 0) {
    std::cerr << "tarvo-demo: " << r.err << "\n";
    return -1;
  }
  std::cout << r.out << r.err;
  std::cout << "[exit status " << r.status << "]\n" << std::endl;
  return r.status;
}

// The two hubs, served until hubs is destroyed; the message says why they
// could not be.
std::string StartDemoHubs(std::vector<std::unique_ptr<hubsim::Hub>>* hubs) {
  std::vector<hubsim::HubSetup> setups(2);
  for (size_t i = 0; i < setups.size(); ++i) {
    const std::string error =
        hubsim::ParseHubSetup(sandbox::kDemoHubs[i], &setups[i]);
    if (!error.empty()) return error;
  }
  return sandbox::StartHubs(setups, hubs);
}

const std::vector<std::vector<std::string>> kSession = {
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

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    const bool help = argc == 2 && (std::string(argv[1]) == "--help" ||
                                    std::string(argv[1]) == "-h");
    (help ? std::cout : std::cerr) << kUsage;
    return help ? 0 : 2;
  }
  const std::string tarvo = argc > 1 ? argv[1] : sandbox::FindTarvo();
  if (tarvo.empty() || access(tarvo.c_str(), X_OK) != 0) {
    std::cerr << "tarvo-demo: no tarvo to run "
              << (tarvo.empty() ? "beside tarvo-demo or on PATH"
                                : "at " + tarvo)
              << "; give its path: tarvo-demo path/to/tarvo\n";
    return 1;
  }
  std::string error = sandbox::EnterPrivateDev();
  if (!error.empty()) {
    std::cerr << "tarvo-demo: cannot make a private /dev (" << error
              << "); run it as root or enable user namespaces\n";
    return 1;
  }
  std::vector<std::unique_ptr<hubsim::Hub>> hubs;
  error = StartDemoHubs(&hubs);
  if (!error.empty()) {
    std::cerr << "tarvo-demo: " << error << "\n";
    return 1;
  }
  std::cout << "Two simulated hubs: ttyUSB0 (4 ports) and ttyUSB3 (12 ports)."
            << "\n\n";
  for (const auto& args : kSession)
    if (Show(tarvo, args) < 0) return 1;
  return 0;
}
