// One command/reply exchange with a hub's controller.
//
// SendCommand() opens and configures the port (serialport.h), writes one
// frame, then collects the reply one byte at a time until a line feed
// arrives. Each byte is waited for at most 10 s plus timeout_ms; a reply
// holds at most kMaxReplyBytes bytes, the line feed included. The port is
// closed again before SendCommand() returns, on every path, and the
// outcome is one of the exchange result texts below. The exchange never
// looks at what the reply says: "E01\r\n" is an "OK" exchange.
#pragma once

#include <cstdint>
#include <string>

#include "status.h"

extern const char kOpenPortError[];
extern const char kSetPortOptionError[];
extern const char kSendError[];
extern const char kReadTimeout[];
extern const char kErrorParameters[];

constexpr int32_t kMaxReplyBytes = 20;
constexpr int32_t kMaxFrameBytes = 31;
constexpr int32_t kByteWaitSeconds = 10;
// The millisecond part of every byte wait that the commands ask for.
constexpr int32_t kReplyTimeoutMs = 100;

// Makes a run that dies of a signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGPIPE) put back the line settings of the ports it has open first, so
// that interrupting a scan never leaves another program's device raw.
void RestorePortsOnDeadlySignals();

// Writes all data_len bytes in one write(); returns data_len, or 0 after
// discarding the queued output when fewer were written.
int32_t UART_Send(int32_t fd, const char* send_buf, int32_t data_len);

// Waits up to 10 s + timout_ms for fd to become readable and reads up to
// data_len bytes. Returns the byte count, 0 when nothing arrived in time
// (or the line hung up), or -1 when the wait or the read failed.
int32_t UART_Recv(int32_t fd, char* rcv_buf, int32_t data_len,
                  int32_t timout_ms);

// Exchanges Command (at most kMaxFrameBytes bytes) with the device
// COM_Name. *prcv_buf receives exactly the reply bytes that arrived: after
// "OK" the whole reply ending with its line feed, after "Read Timeout" the
// bytes before the wait ran out, after "Error Parameters" the 20 bytes
// without a line feed; after the other results it is left untouched.
std::string SendCommand(std::string COM_Name, std::string Command,
                        std::string* prcv_buf, int32_t timeout_ms);
