// hubsim: serve one simulated hub on a pseudo-terminal until stopped.
//
//   hubsim [--record] [--SETTING [VALUE]]...   settings as in hubsetup.h
//
// Prints the terminal side's path (a /dev/pts/N) on its first line, then
// serves until SIGINT or SIGTERM. With --record it prints each frame as it
// arrives, with the line speed it arrived at: "frame 9600 GP\r".
#include <signal.h>
#include <termios.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "hubsetup.h"
#include "hubsim.h"

namespace {

const char kUsage[] =
    "usage: hubsim [--record] [--SETTING [VALUE]]...\n"
    "Serves one simulated Managed USB Hub on a pseudo-terminal, prints its\n"
    "path (/dev/pts/N) and serves until SIGINT or SIGTERM. tarvo does not\n"
    "take that path as a hub's name: link it as /dev/ttyUSBn in a private\n"
    "/dev (tarvo-sandbox --hub does all of that), or hand it to a program\n"
    "that serves it as a serial line (an emulator's serial back end).\n"
    "  --record   prints each frame as it arrives, with the line's speed:\n"
    "             frame 9600 GP\\r (bytes outside printable ASCII as \\xHH)\n"
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

// The bytes as one printable word: CR as \r, others outside 0x21-0x7E (and
// the backslash) as \xHH.
std::string Printable(const std::string& bytes) {
  std::string text;
  for (unsigned char ch : bytes) {
    if (ch == '\r') {
      text += "\\r";
    } else if (ch > 0x20 && ch < 0x7F && ch != '\\') {
      text += static_cast<char>(ch);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", ch);
      text += hex;
    }
  }
  return text;
}

int32_t Baud(speed_t speed) {
  const std::pair<speed_t, int32_t> kBauds[] = {
      {B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
      {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
  for (const auto& [code, baud] : kBauds)
    if (code == speed) return baud;
  return 0;
}

void PrintFrame(const hubsim::FrameRecord& record) {
  std::printf("frame %d %s\n",
              static_cast<int>(Baud(cfgetospeed(&record.line))),
              Printable(record.bytes).c_str());
  (void)std::fflush(stdout);
}

int Serve(const hubsim::HubSetup& setup, bool record) {
  sigset_t stops;
  (void)sigemptyset(&stops);
  (void)sigaddset(&stops, SIGINT);
  (void)sigaddset(&stops, SIGTERM);
  // Blocked before the serving thread starts, so only sigwait() sees them.
  (void)pthread_sigmask(SIG_BLOCK, &stops, nullptr);

  hubsim::Hub hub(setup.config, setup.faults,
                  record ? hubsim::FrameWatcher(PrintFrame) : nullptr);
  if (hub.TerminalPath().empty()) {
    std::cerr << "hubsim: " << hub.Error() << "\n";
    return 1;
  }
  std::printf("%s\n", hub.TerminalPath().c_str());
  (void)std::fflush(stdout);
  int signal = 0;
  sigwait(&stops, &signal);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  hubsim::HubSetup setup = hubsim::DefaultHubSetup();
  setup.name = "ttyUSB0";
  bool record = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::cout << kUsage << hubsim::HubSettingsHelp("--", " ");
      return 0;
    }
    if (option == "--record") {
      record = true;
      continue;
    }
    const std::string error = ApplyOption(argc, argv, &i, &setup);
    if (!error.empty()) {
      std::cerr << "hubsim: " << error << "\nTry 'hubsim --help'.\n";
      return 2;
    }
  }
  return Serve(setup, record);
}
