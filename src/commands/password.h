// /P, and the password rules of every command that changes a hub.
//
// A password travels as an 8-byte field: the argument's bytes unchanged,
// padded with blanks. A command given no password sends the default field
// "mira    ". An argument longer than 8 bytes, or one holding a control
// character (which could end a frame early and smuggle a second command
// to the hub), is refused with "Invalid Password!" before anything is
// sent.
//
//   tarvo /P:ttyUSBn new             from the default password
//   tarvo /P:ttyUSBn old new
#pragma once

#include <string>

#include "commands/outcome.h"
#include "commands/request.h"

extern const char kDefaultPassword[];
extern const char kInvalidPassword[];

// The password field of arg, or false when arg cannot be a password.
bool MakePasswordField(const std::string& arg, std::string* field);

Outcome ChangePassword(const Request& request);
