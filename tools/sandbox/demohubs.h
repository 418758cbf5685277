// What tarvo-demo and tarvo-sandbox share: the demo's two hubs, starting
// hubs in the private /dev, and finding the tarvo to run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hubsetup.h"
#include "hubsim.h"

namespace sandbox {

// ttyUSB0 (4 ports, 1 and 3 on, firmware 1.3) and ttyUSB3 (12 ports, 10
// and 12 on), as hub setups.
extern const char* const kDemoHubs[2];

// Starts the hubs and links each, with its stable names, into the private
// /dev (devns.h); "" on success, else what went wrong.
std::string StartHubs(const std::vector<hubsim::HubSetup>& setups,
                      std::vector<std::unique_ptr<hubsim::Hub>>* hubs);

// The folder of the running executable; "" when it cannot be told.
std::string DirectoryOfThisExecutable();

// The tarvo beside the running executable, else the first on PATH; ""
// for none.
std::string FindTarvo();

}  // namespace sandbox
