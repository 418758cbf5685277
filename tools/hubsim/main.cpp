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
  // With no value left, the setting itself says whether it is unknown or
  // what value it needs.
  const bool has_value = !flag && *i + 1 < argc;
  return hubsim::ApplyHubSetting(key, has_value, has_value ? argv[++*i] : "",
                                 setup);
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

// The line's speed in bits per second, as the termios speed names it; the
// speed code itself, in hex, for one outside termios's table.
std::string Baud(speed_t speed) {
  const std::pair<speed_t, int32_t> kBauds[] = {{B0, 0},
                                                {B50, 50},
                                                {B75, 75},
                                                {B110, 110},
                                                {B134, 134},
                                                {B150, 150},
                                                {B200, 200},
                                                {B300, 300},
                                                {B600, 600},
                                                {B1200, 1200},
                                                {B1800, 1800},
                                                {B2400, 2400},
                                                {B4800, 4800},
                                                {B9600, 9600},
                                                {B19200, 19200},
                                                {B38400, 38400},
                                                {B57600, 57600},
                                                {B115200, 115200},
                                                {B230400, 230400},
                                                {B460800, 460800},
                                                {B500000, 500000},
                                                {B576000, 576000},
                                                {B921600, 921600},
                                                {B1000000, 1000000},
                                                {B1152000, 1152000},
                                                {B1500000, 1500000},
                                                {B2000000, 2000000},
                                                {B2500000, 2500000},
                                                {B3000000, 3000000},
                                                {B3500000, 3500000},
                                                {B4000000, 4000000}};
  for (const auto& [code, baud] : kBauds)
    if (code == speed) return std::to_string(baud);
  char code[32];
  std::snprintf(code, sizeof code, "speed-code-0x%X",
                static_cast<unsigned>(speed));
  return code;
}

void PrintFrame(const hubsim::FrameRecord& record) {
  std::printf("frame %s %s\n", Baud(cfgetospeed(&record.line)).c_str(),
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
