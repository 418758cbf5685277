// One run's command, as the command line states it.
//
// The front end parses the arguments once into a Request (commandline.h)
// and checks everything that can be checked before a device is opened;
// a command reads only its own fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class CommandKind {
  kHelp,             // /H, /?, --help, -h, or no argument
  kVersion,          // --version
  kScan,             // /Q
  kShowOneHub,       // /Q:ttyUSBn
  kGetStates,        // /G
  kSetStates,        // /S and /F
  kChangePassword,   // /P
  kSaveStates,       // /W
  kRestoreDefaults,  // /D
  kResetHub,         // /R
  kPowerCycle,       // /C
};

enum class OutputForm {
  kText,     // no option: hub lines, or On and Off lists
  kCompact,  // -F
  kBinary,   // -B
  kHex,      // -H
  kJson,     // -J
};

// /S sets the current states; /F sets them and keeps them as the states
// the hub starts with.
enum class SetTarget { kCurrentStates, kCurrentAndPowerOnStates };

struct Request {
  CommandKind command = CommandKind::kHelp;
  // The hub's name in the device folder, "ttyUSB3" (names/hubnames.h); "" for
  // a path whose device is gone: the run goes on as for a missing device,
  // and opens nothing.
  std::string hub;
  // The path as typed (/G:/dev/serial/by-id/...), walked again once the
  // hub is locked; "" for the short form.
  std::string typed_path;
  // The names whose UUCP lock files (LCK..ttyUSB3) mark the hub: the last
  // part of every name on the way to its device.
  std::vector<std::string> lock_file_names;
  OutputForm form = OutputForm::kText;
  // --lock-wait: how long to wait for a busy hub; -1: the settings' wait.
  int64_t lock_wait_us = -1;
  SetTarget set_target = SetTarget::kCurrentStates;  // /F: and power-on
  std::string password;              // the 8-byte field the hub verifies
  std::string new_password;          // /P: the field the hub adopts
  std::string state_argument;        // /S, /F: as typed
  bool cycle_all_ports = false;      // /C: ALL
  std::vector<int64_t> cycle_ports;  // /C: otherwise these, 1 to 32
  int64_t cycle_off_ms = 0;          // /C: how long the ports stay off
};
