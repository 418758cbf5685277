// The stable names udev gives a serial device.
//
// /dev/ttyUSBn numbers follow the order in which adapters appear, so they
// change across re-plugs; udev also makes symbolic links under
// /dev/serial/by-id (adapter serial number) and /dev/serial/by-path (USB
// port) that stay the same. A rig with several hubs tells them apart by
// these.
#pragma once

#include <string>
#include <vector>

const std::vector<std::string>& DefaultStableLinkDirs();

// Every link in the given directories, taken in order, that resolves to
// the same device as device; each directory's links sorted bytewise.
std::vector<std::string> StableDeviceLinks(
    const std::string& device,
    const std::vector<std::string>& dirs = DefaultStableLinkDirs());
