// Probing every hub port name at once.
//
// A scan asks /dev/ttyUSB0 to /dev/ttyUSB255 whether a hub answers. A name
// with no device behind it fails at once; a device that exists but stays
// silent (a modem, a GPS receiver) costs a whole byte wait. So every name
// that exists is probed at the same time, each probe a complete hub query
// of its own under its own hub lock, by a small pool of threads with small
// stacks. The results are still handed on strictly in index order, each
// as soon as it and every lower index are known, so the output reads
// exactly as if the names had been probed one after another.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/hubquery.h"

constexpr int32_t kFirstScanIndex = 0;
constexpr int32_t kLastScanIndex = 255;

// Calls onHub(index, portName, report) for each name where a hub answered,
// in increasing index order. Names whose probe failed, and devices that
// another run keeps locked, are passed over.
void ScanHubs(
    const std::function<void(int32_t, const std::string&, const HubReport&)>&
        onHub);
