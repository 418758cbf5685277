// The hub a command talks to, under its lock.
//
// A command locks the hub before its first exchange and holds the lock
// until it ends, so that the states it reads are still the hub's when it
// acts; every exchange under the lock talks only to the file that was
// locked, and asks the port for low latency. A LockedHub exists only once
// its lock is held: Lock() makes it, and the lock goes with it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "line/exchange.h"
#include "linksettings.h"
#include "locks/hublock.h"
#include "outcome.h"
#include "protocol/hubreport.h"
#include "request.h"

class LockedHub {
  struct Key {};  // only Lock() makes a LockedHub

 public:
  // Waits for the lock of the hub the request names, up to the settings'
  // lock wait, and then puts the locked hub in *hub: kSuccess. kPortBusy
  // when it stays taken, or at once when a lock folder cannot be looked
  // in. A run out of descriptors sends nothing and says cannot_open, what
  // the command says of a device it cannot open. A hub named by a path is
  // the hub that path leads to once the lock is held: the kernel may have
  // given its ttyUSBn to another adapter during the wait, and then the
  // run goes on as for a device that is gone. Why it failed goes to out.
  static Outcome Lock(const Request& request, const LinkSettings& settings,
                      Outcome cannot_open, LineSink& out,
                      std::optional<LockedHub>* hub);
  // Lock(), then the hub query ("?Q", then "GP" to a device that answered
  // as a hub): the query's message when it fails.
  static Outcome LockAndReadReport(const Request& request,
                                   const LinkSettings& settings, LineSink& out,
                                   std::optional<LockedHub>* hub,
                                   HubReport* report);

  LockedHub(Key, const Request& request, const LinkSettings& settings);
  LockedHub(const LockedHub&) = delete;
  LockedHub& operator=(const LockedHub&) = delete;

  ExchangeResult Exchange(const std::string& frame);
  const std::string& device() const { return device_; }
  // Why an exchange of the message code failed, or what its reply was.
  Reason Why(const std::string& code, const ExchangeResult& result) const;

 private:
  PortUse Use();
  bool TypedPathLeadsToLockedDevice() const;

  const LinkSettings& settings_;
  std::string device_;          // "" for a device that is gone: opens nothing
  std::string typed_path_;      // walked again once the lock is held
  bool led_elsewhere_ = false;  // the typed path, once the lock was held
  std::vector<std::string> lock_file_names_;
  HubLock lock_;
};

// What a command says when its exchange failed: the line's own message.
Outcome LineFailure(ExchangeStatus status);

// Why an exchange of the message code with device failed (or what its
// reply was, for a reply the command refuses), for a scan too.
Reason ExchangeReason(const std::string& device, const std::string& code,
                      const ExchangeResult& result, int64_t byte_wait_us);
// Explains that the run ran out of descriptors at device, and returns
// outcome, what the command says then.
Outcome OutOfDescriptors(const std::string& device, Outcome outcome,
                         LineSink& out);
// Why device counted as held: who holds it, and how long the run waited.
Reason HeldReason(const std::string& device, const LockHolder& holder,
                  int64_t waited_us);
