// The state-argument language of the set commands.
//
// A state argument is a function letter, a separator that is never
// examined, and a body:
//
//   1:3,4   ports 3 and 4 on        0:ALL   every port off
//   0:3     port 3 off              T:ALL   every port inverted
//   T:1,2   ports 1 and 2 inverted  B:0101  binary, the last digit port 1
//   H:A601  hex bytes, least significant first, padded with 'F'
//
// List forms start from the hub's current word and keep every bit they do
// not name; ALL, B and H set every absent port (bits nPorts to 31) on.
// The argument arrives upper-cased. Both operations return kOK or
// kInvalidNumber and change *pPS64 and *pcurr_PS only on success.
#pragma once

#include <cstdint>
#include <string>

#include "status.h"

#include "portstate/portstate.h"

extern const char kInvalidNumber[];
extern const char kMoreItems[];    // "more": the item ended at a ','
extern const char kEndOfString[];  // "end of string"

// Function letters of the forms.
extern const char kFuncOff[];
extern const char kFuncOn[];
extern const char kFuncToggle[];
extern const char kFuncBinary[];
extern const char kFuncHex[];

// Reads one port-list item of s from index start. Returns kMoreItems or
// kEndOfString with *pn the item's value (0 for an empty item, INT32_MAX
// for one too large for 32 bits) and *pnext the index after the character
// that ended it; kInvalidNumber, writing nothing, for any character that
// is neither a digit nor ','.
std::string ParseInteger(std::string s, int32_t start, int32_t* pnext,
                         int32_t* pn);

// The 0, 1 and T forms, by port list or ALL.
std::string Update_Port_State(std::string func, std::string sPS,
                              int32_t nPorts, PS64* pPS64,
                              std::string* pcurr_PS);

// The B and H forms; the incoming word is not read.
std::string Update_Port_State_BH(std::string func, std::string sPS,
                                 int32_t nPorts, PS64* pPS64,
                                 std::string* pcurr_PS);
