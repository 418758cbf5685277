// Taking the hub lock (and asking the hub what it is) for a command.
//
// The lock is held by the caller's HubLock for the rest of its command, so
// that the states read here are still the hub's when the command acts,
// and every exchange under it talks to the file it locked.
#pragma once

#include <string>

#include "commands/outcome.h"
#include "link/exchange.h"
#include "link/hublock.h"
#include "link/hubquery.h"

// Waits for the lock up to its 30 s bound; "Port Busy!" when it stays
// taken. A run out of descriptors sends nothing and says cannot_open, what
// the command says of a device it cannot open.
Outcome LockHub(const std::string& device, HubLock* lock,
                const char* cannot_open);

// How a command's exchanges use the port under lock: only the locked
// file, with low latency asked for.
PortUse CommandPortUse(HubLock* lock);

// LockHub(), then the hub query; the query's message when it fails.
Outcome LockAndQueryHub(const std::string& device, HubLock* lock,
                        HubReport* report);
