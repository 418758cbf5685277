// The hub protocol, byte by byte.
//
// A frame is a two-letter message code, zero to two fixed-width fields
// and a carriage return; a reply is a run of bytes ending in a line feed.
// This file owns the message codes, builds every frame and classifies the
// replies to the messages that carry a password; hubreport.h decodes the
// replies to "?Q" and "GP". The commands decide what to print for each.
//
//   "?Q\r"                                   query: id, port count, firmware
//   "GP\r"                                   current port states
//   "SP" | "FP" + password + states + "\r"   set (FP: also as power-on)
//   "CP" + old password + new password + "\r"
//   "WP" | "RD" | "RH" + password + "\r"     save, defaults, reset
//
// Passwords travel as 8-character fields, states as the 8-character
// state hex string (portstate/portstate.h).
#pragma once

#include <cstddef>
#include <string>

extern const char kQueryCode[];
extern const char kGetStatesCode[];
extern const char kSetStatesCode[];
extern const char kSetStatesAndFlashCode[];
extern const char kChangePasswordCode[];
extern const char kSaveStatesCode[];
extern const char kRestoreDefaultsCode[];
extern const char kResetHubCode[];

// A password travels as an 8-byte field: the password's bytes unchanged,
// padded with blanks. A command given no password sends the default
// field. A password longer than 8 bytes, or one holding a control byte
// (which could end a frame early and smuggle a second message to the
// hub), has no field.
constexpr size_t kPasswordFieldLength = 8;
extern const char kDefaultPassword[];  // "mira    "

// The password field of password, or false when it cannot have one.
bool MakePasswordField(const std::string& password, std::string* field);

// "?Q\r", "GP\r".
std::string BuildFrame(const std::string& code);
// "WP", "RD", "RH" and, with two fields, "SP", "FP", "CP".
std::string BuildFrame(const std::string& code, const std::string& field);
std::string BuildFrame(const std::string& code, const std::string& field1,
                       const std::string& field2);

// A reply read as text: the bytes received, ending early at a NUL.
std::string ReplyText(const std::string& reply);

// How a reply to a frame that carries a password is classified.
enum class ReplyClass { kAccepted, kWrongPassword, kRefused };

// CP, WP, RD: "E01" first, then the acceptance mark.
ReplyClass ClassifyAcknowledgement(const std::string& reply);

// SP, FP: accepted only when 'G' is followed by exactly the sent state hex
// string; kEchoMismatch when 'G' is followed by anything else.
enum class SetReplyClass { kAccepted, kEchoMismatch, kWrongPassword, kRefused };
SetReplyClass ClassifySetReply(const std::string& reply,
                               const std::string& sent_states);

// RH: only a refused password counts; anything else is taken as done.
bool IsWrongPasswordReply(const std::string& reply);
