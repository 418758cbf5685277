// hubsim: serve one simulated hub on a pseudo-terminal until stopped.
//
//   hubsim [--ports NN] [--fw XYZ] [--id TEXT] [--password P]
//          [--states HEX] [--flash HEX] [--silent] [--delay-ms N]
//          [--byte-gap-ms N] [--wire-time] [--cut-after N]
//
// Prints the terminal side's path (a /dev/pts/N) on its first line, then
// serves until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "hubsim.h"

namespace {

const char kUsage[] =
    "usage: hubsim [--ports NN] [--fw XYZ] [--id TEXT] [--password P]\n"
    "              [--states HEX] [--flash HEX] [--silent] [--delay-ms N]\n"
    "              [--byte-gap-ms N] [--wire-time] [--cut-after N]\n";

bool ParseHex(const std::string& text, uint32_t* value) {
  char* end = nullptr;
  errno = 0;
  unsigned long parsed = std::strtoul(text.c_str(), &end, 16);
  if (text.empty() || *end != '\0' || errno != 0 || parsed > 0xFFFFFFFFul)
    return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

bool ParseCount(const std::string& text, int32_t* value) {
  char* end = nullptr;
  long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < 0 || parsed > 1000000)
    return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  hubsim::HubConfig config;
  hubsim::Faults faults;
  for (int i = 1; i < argc; ++i) {
    std::string flag = argv[i];
    bool hasValue = i + 1 < argc;
    std::string value = hasValue ? argv[i + 1] : "";
    bool ok = true;
    if (flag == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (flag == "--silent") {
      faults.silent = true;
      continue;
    }
    if (flag == "--wire-time") {
      faults.wireTime = true;
      continue;
    }
    if (!hasValue) {
      std::cerr << kUsage;
      return 2;
    }
    ++i;
    if (flag == "--ports") config.portCount = value;
    else if (flag == "--fw") config.firmware = value;
    else if (flag == "--id") config.id = value;
    else if (flag == "--password") config.password = value.append(value.size() < 8 ? 8 - value.size() : 0, ' ');
    else if (flag == "--states") ok = ParseHex(value, &config.states);
    else if (flag == "--flash") ok = ParseHex(value, &config.flash);
    else if (flag == "--delay-ms") ok = ParseCount(value, &faults.replyDelayMs);
    else if (flag == "--byte-gap-ms") ok = ParseCount(value, &faults.byteGapMs);
    else if (flag == "--cut-after") ok = ParseCount(value, &faults.cutAfterBytes);
    else ok = false;
    if (!ok) {
      std::cerr << "hubsim: bad option " << flag << " " << value << "\n" << kUsage;
      return 2;
    }
  }

  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  // Blocked before the serving thread starts, so only sigwait() sees them.
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);

  hubsim::Hub hub(config, faults);
  if (hub.TerminalPath().empty()) {
    std::cerr << "hubsim: " << hub.Error() << "\n";
    return 1;
  }
  std::cout << hub.TerminalPath() << std::endl;
  int signal = 0;
  sigwait(&stops, &signal);
  return 0;
}
