// /Q: find hubs and report what they say.
//
//   tarvo /Q              scan /dev/ttyUSB0..255, one hub line each, then
//                         "<n> Managed USB Hub(s) Found."
//   tarvo /Q -F           the scan as one line: "0003ttyUSB0,3,12"
//   tarvo /Q:ttyUSBn      the hub line of one hub
//   tarvo /Q:ttyUSBn -F   its hub record: state hex, port count in hex,
//                         firmware version, CR LF
#pragma once

#include <cstdint>
#include <string>

void DoQuery();

// n as "%d" writes it.
std::string my_itos(int32_t n);
