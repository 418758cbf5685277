// hubsim: serve one simulated hub on a pseudo-terminal until stopped.
//
//   hubsim [--SETTING [VALUE]]...      settings as in hubsetup.h
//
// Prints the terminal side's path (a /dev/pts/N) on its first line, then
// serves until SIGINT or SIGTERM.
#include <signal.h>

#include <cstring>
#include <iostream>
#include <string>

#include "hubsetup.h"
#include "hubsim.h"

namespace {

const char kUsage[] =
    "usage: hubsim [--SETTING [VALUE]]...\n"
    "Serves one simulated Managed USB Hub on a pseudo-terminal, prints its\n"
    "path (/dev/pts/N) and serves until SIGINT or SIGTERM. tarvo does not\n"
    "take that path as a hub's name: link it as /dev/ttyUSBn in a private\n"
    "/dev (tarvo-sandbox --hub does all of that), or hand it to a program\n"
    "that serves it as a serial line (an emulator's serial back end).\n"
    "Settings (by-id, by-path and link make names in tarvo-sandbox only):\n";

// Names in /dev are made by tarvo-sandbox, in its private /dev; hubsim
// alone has none to make them in.
bool MakesNames(const std::string& key) {
  return key == "by-id" || key == "by-path" || key == "link";
}

// One command-line option (and its value, which advances *i) into setup;
// the message says what is wrong with it.
std::string ApplyOption(int argc, char** argv, int* i,
                        hubsim::HubSetup* setup) {
  const std::string option = argv[*i];
  if (option.compare(0, 2, "--") != 0)
    return "unknown argument '" + option + "'";
  const std::string key = option.substr(2);
  if (MakesNames(key))
    return "'" + option +
           "' makes a name in /dev, which only tarvo-sandbox can: "
           "tarvo-sandbox --hub ttyUSB0," +
           key + "=...";
  const bool flag = hubsim::IsHubFlag(key);
  if (!flag && *i + 1 >= argc) return "'" + option + "' needs a value";
  return hubsim::ApplyHubSetting(key, !flag, flag ? "" : argv[++*i], setup);
}

int Serve(const hubsim::HubSetup& setup) {
  sigset_t stops;
  (void)sigemptyset(&stops);
  (void)sigaddset(&stops, SIGINT);
  (void)sigaddset(&stops, SIGTERM);
  // Blocked before the serving thread starts, so only sigwait() sees them.
  (void)pthread_sigmask(SIG_BLOCK, &stops, nullptr);

  hubsim::Hub hub(setup.config, setup.faults);
  if (hub.TerminalPath().empty()) {
    std::cerr << "hubsim: " << hub.Error() << "\n";
    return 1;
  }
  std::cout << hub.TerminalPath() << std::endl;
  int signal = 0;
  sigwait(&stops, &signal);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  hubsim::HubSetup setup = hubsim::DefaultHubSetup();
  setup.name = "ttyUSB0";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::cout << kUsage << hubsim::HubSettingsHelp("--", " ");
      return 0;
    }
    const std::string error = ApplyOption(argc, argv, &i, &setup);
    if (!error.empty()) {
      std::cerr << "hubsim: " << error << "\nTry 'hubsim --help'.\n";
      return 2;
    }
  }
  return Serve(setup);
}
