// Opening and configuring a hub's serial control port.
//
// Every exchange with a hub opens its port afresh, puts the line into raw
// 9600 8N1 with set_opt(), and closes it again (see exchange.h), so no
// descriptor outlives one command/reply exchange. set_opt() hands back the
// settings it found, which the exchange writes back before it closes the
// port: a device probed by a scan that turns out not to be a hub (a modem,
// a console) is left as its own program set it. Both functions report
// failure as -1 and never print.
#pragma once

#include <termios.h>

#include <cstdint>
#include <string>

// Opens the device read-write, never as the controlling terminal, and
// turns blocking I/O back on once the open has returned. Returns the
// descriptor or -1.
int32_t openPort(std::string comPortName);

// Puts the line into raw mode with the given speed, data bits, parity
// letter ('N', 'E', 'O', either case) and stop bits, and discards any
// input that arrived before. Unsupported values fall back to 9600 baud,
// 5-bit characters (for a size other than 7 or 8), no parity and one stop
// bit. *poldtio receives the settings in force before. Returns 0, or -1
// when fd is not a terminal or cannot be configured.
int32_t set_opt(int32_t fd, int32_t nSpeed, int32_t nBits, char nEvent,
                int32_t nStop, struct termios* poldtio);
