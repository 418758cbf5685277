#include "link/linksettings.h"

#include <sys/stat.h>

#include "link/exchange.h"
#include "link/hublock.h"
#include "link/hubnames.h"
#include "link/stablenames.h"

namespace {

// Where /var/lock leads to /run/lock (as on Debian) one look is enough.
std::vector<std::string> HostLockFileDirs() {
  std::vector<std::string> dirs = {"/run/lock"};
  struct stat run_lock, var_lock;
  if (stat("/var/lock", &var_lock) != 0 || stat("/run/lock", &run_lock) != 0 ||
      var_lock.st_dev != run_lock.st_dev || var_lock.st_ino != run_lock.st_ino)
    dirs.push_back("/var/lock");
  return dirs;
}

}  // namespace

LinkSettings HostLinkSettings() {
  return {kDeviceDir,
          HostLockFileDirs(),
          {kStableNamesById, kStableNamesByPath},
          kByteWaitMicros,
          kLockWaitMicros,
          kLockRecheckMicros};
}
