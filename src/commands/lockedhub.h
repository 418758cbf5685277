// The hub a command talks to, under its lock.
//
// A command locks the hub before its first exchange and holds the lock
// until it ends, so that the states it reads are still the hub's when it
// acts; every exchange under the lock talks only to the file that was
// locked, and asks the port for low latency.
#pragma once

#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/hublock.h"
#include "link/hubreport.h"
#include "link/linksettings.h"
#include "outcome.h"
#include "request.h"

class LockedHub {
 public:
  LockedHub(const Request& request, const LinkSettings& settings);

  // Waits for the lock up to the settings' lock wait: kPortBusy when it
  // stays taken. A run out of descriptors sends nothing and says
  // cannot_open, what the command says of a device it cannot open. A hub
  // named by a path is the hub that path leads to once the lock is held:
  // the kernel may have given its ttyUSBn to another adapter during the
  // wait, and then the run goes on as for a device that is gone.
  Outcome Lock(Outcome cannot_open);
  // Lock(), then the hub query; the query's message when it fails.
  Outcome LockAndReadReport(HubReport* report);
  ExchangeResult Exchange(const std::string& frame);

  const std::string& device() const { return device_; }

 private:
  PortUse Use();
  bool TypedPathLeadsToLockedDevice() const;

  const LinkSettings& settings_;
  std::string device_;      // "" for a device that is gone: opens nothing
  std::string typed_path_;  // walked again once the lock is held
  std::vector<std::string> lock_file_names_;
  HubLock lock_;
};

// What a command says when its exchange failed: the line's own message.
Outcome LineFailure(ExchangeStatus status);
