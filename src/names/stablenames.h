// The stable names udev gives a serial device.
//
// /dev/ttyUSBn numbers follow the order in which adapters appear, so they
// change across re-plugs; udev also makes symbolic links under
// /dev/serial/by-id (adapter serial number) and /dev/serial/by-path (USB
// port) that stay the same. A rig with several hubs tells them apart by
// these.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Every link in the given folders, taken in order, that resolves to the
// same device as device; each folder's links sorted bytewise. nullopt when
// a folder could not be read for want of descriptors or memory: the list
// would be short, with nothing to show it.
std::optional<std::vector<std::string>> StableNames(
    const std::string& device, const std::vector<std::string>& dirs);
