// tarvo-demo: a short session of real tarvo commands against two
// simulated hubs that appear as /dev/ttyUSB0 and /dev/ttyUSB3, inside a
// private /dev of this process (nothing on the machine's /dev changes).
//
//   tarvo-demo [path/to/tarvo]
//
// Without a path it runs the tarvo beside itself, else the one on PATH.
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "devns.h"
#include "hubsim.h"
#include "runner.h"

namespace {

constexpr double kCommandTimeoutSeconds = 60;

const char kUsage[] =
    "usage: tarvo-demo [path/to/tarvo]\n"
    "Plays a short session of tarvo commands against two simulated hubs,\n"
    "ttyUSB0 (4 ports) and ttyUSB3 (12 ports), in a private /dev. Without a\n"
    "path it runs the tarvo beside tarvo-demo, else the one on PATH.\n";

bool IsExecutable(const std::string& path) {
  return access(path.c_str(), X_OK) == 0;
}

// The tarvo beside this executable, else the first on PATH; "" for none.
std::string FindTarvo() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    const std::string exe(self, static_cast<size_t>(length));
    const std::string beside = exe.substr(0, exe.rfind('/')) + "/tarvo";
    if (IsExecutable(beside)) return beside;
  }
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t colon = dirs.find(':', start);
    const std::string dir = dirs.substr(start, colon - start);
    if (!dir.empty() && IsExecutable(dir + "/tarvo")) return dir + "/tarvo";
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return "";
}

int Show(const std::string& tarvo, const std::vector<std::string>& args) {
  std::string line = "$ tarvo";
  for (const std::string& arg : args) line += " " + arg;
  std::cout << line << std::endl;
  std::vector<std::string> argv = {tarvo};
  argv.insert(argv.end(), args.begin(), args.end());
  hubsim::RunResult r = hubsim::Run(argv, kCommandTimeoutSeconds);
  if (r.status < 0) {
    std::cerr << "tarvo-demo: " << r.err << "\n";
    return -1;
  }
  std::cout << r.out << r.err;
  std::cout << "[exit status " << r.status << "]\n" << std::endl;
  return r.status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    const bool help = argc == 2 && (std::string(argv[1]) == "--help" ||
                                    std::string(argv[1]) == "-h");
    (help ? std::cout : std::cerr) << kUsage;
    return help ? 0 : 2;
  }
  const std::string tarvo = argc > 1 ? argv[1] : FindTarvo();
  if (tarvo.empty() || !IsExecutable(tarvo)) {
    std::cerr << "tarvo-demo: no tarvo to run "
              << (tarvo.empty() ? "beside tarvo-demo or on PATH" : "at " + tarvo)
              << "; give its path: tarvo-demo path/to/tarvo\n";
    return 1;
  }
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
  for (const auto& args : session)
    if (Show(tarvo, args) < 0) return 1;
  return 0;
}
