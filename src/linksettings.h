// What a run takes from the machine it runs on: the folders it looks
// in and how long it waits. main() builds the one value with the
// machine's real folders and waits and passes it down to every command,
// exchange and lock; tests build their own, with folders of their own and
// waits of a few hundred milliseconds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LinkSettings {
  std::string device_dir;                     // "/dev/", where hubs are
  std::vector<std::string> lock_file_dirs;    // other programs' lock files
  std::vector<std::string> stable_name_dirs;  // udev's stable names
  int64_t byte_wait_us = 0;     // for the frame to go out, and for each byte
  int64_t lock_wait_us = 0;     // for a command's hub lock
  int64_t lock_recheck_us = 0;  // between looks at a busy lock file
};
