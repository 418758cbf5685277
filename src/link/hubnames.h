// Hub names and where their devices are.
//
// A hub is named as its serial control port is: "ttyUSB" and a number
// ("ttyUSB3"), its device the device folder and the name
// ("/dev/ttyUSB3"). A scan looks at ttyUSB0 to ttyUSB255. A name that a
// user types must not lead anywhere else: no '/', which could climb out of
// the device folder, and no control byte, which could forge an output
// line.
#pragma once

#include <cstdint>
#include <string>

inline constexpr char kHubNamePrefix[] = "ttyUSB";
inline constexpr char kDeviceDir[] = "/dev/";
constexpr int32_t kScanNames = 256;  // ttyUSB0 to ttyUSB255

// "ttyUSB" and the index.
std::string ScanName(int32_t index);

// True for "ttyUSB" and a part without '/' or a control byte.
bool IsHubName(const std::string& name);

// The device of the hub name in device_dir ("/dev/" and "ttyUSB3").
std::string HubDevice(const std::string& device_dir, const std::string& name);
