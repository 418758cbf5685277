// Hub names and where their devices are.
//
// A hub is named as its serial control port is: "ttyUSB" and a number
// ("ttyUSB3"), its device the device folder and the name
// ("/dev/ttyUSB3"). A scan looks at ttyUSB0 to ttyUSB255. A name that a
// user types must not lead anywhere else: no '/', which could climb out of
// the device folder, and no control byte, which could forge an output
// line.
//
// ttyUSB numbers change when adapters are plugged in another order, so a
// hub may also be named by a path in the device folder that stays the
// same: udev's /dev/serial/by-id and by-path links, or a udev rule's own
// name. ResolveHubPath() works out which hub such a path leads to, once,
// before anything is opened:
//   - the text must be clean: in the device folder, no "." or ".." part,
//     no "//", no trailing '/', no control byte, at most PATH_MAX bytes;
//   - then its names are walked, at most kMostLinks links: the folders of
//     each name are resolved by the kernel and only the last name is
//     examined; a link's relative target is taken against its folder;
//   - the hub is the last name on the way that is a scan name (ttyUSB0 to
//     ttyUSB255) in the device folder: a udev name such as ttyUSB_hub or
//     ttyUSB7 may lead to ttyUSB0, and ttyUSBn is itself a link in some
//     set-ups (tarvo-sandbox among them), and the hub is still ttyUSBn
//     whatever it leads to. Past that name the links are the device's own
//     business and may lead anywhere, out of the device folder too (the
//     sandbox's ttyUSBn lead to /dev/pts); only a name gone on the way
//     there makes the device missing. Every name up to the hub's is one
//     other programs may mark the hub by, with a UUCP lock file named
//     after its last part (LCK..rack3 for /dev/hubs/rack3);
//   - a name on the way that does not exist (an unplugged adapter's link
//     is gone or dangles) is a missing device: the run goes on as it does
//     for a missing ttyUSBn, and opens nothing, so that whatever appears
//     there later is never talked to;
//   - anything else is refused: a walk that meets no scan name (/dev/null,
//     a pseudo-terminal), too many links before one, a walk that leaves
//     the device folder (whether or not its target exists), a name that
//     cannot be examined.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr char kHubNamePrefix[] = "ttyUSB";
constexpr int32_t kScanNames = 256;  // ttyUSB0 to ttyUSB255

// "ttyUSB" and the index.
std::string ScanName(int32_t index);

// True for "ttyUSB" and a part without '/' or a control byte: the short
// form of a hub's name as typed (/G:ttyUSB3).
bool IsHubName(const std::string& name);

// True for the names a scan looks at: "ttyUSB" and 0 to 255, no leading 0.
bool IsScanName(const std::string& name);

// The device of the hub name in device_dir ("/dev/" and "ttyUSB3").
std::string HubDevice(const std::string& device_dir, const std::string& name);

constexpr int32_t kMostLinks = 40;

enum class HubPathStatus { kHub, kMissing, kRefused };

struct HubPath {
  HubPathStatus status = HubPathStatus::kRefused;
  std::string name;  // the hub name ("ttyUSB3"); "" unless kHub
  // The last part of every name the walk passed up to the hub's, in
  // order and once each, whatever its end: the names whose UUCP lock files
  // mark the device ("rack3", "ttyUSB0").
  std::vector<std::string> lock_file_names;
};

// Which hub path leads to; device_dir ends in '/'.
HubPath ResolveHubPath(const std::string& path, const std::string& device_dir);
