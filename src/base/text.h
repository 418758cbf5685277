// Bytes of text as tarvo reads and writes them, one rule each for every
// room that takes a user's or a device's text.
#pragma once

#include <string>

// A byte below 0x20, or 0x7F: one that could end a frame early, or forge
// an output line, where a user's text goes.
bool IsControlByte(char ch);

// text with ASCII letters upper-cased and every other byte as it is: how
// command words, options and state arguments are read.
std::string UpperCased(std::string text);

// bytes as one printable line, as hubsim --record shows frames: a carriage
// return as \r, a byte from '!' to '~' but the backslash as itself, every
// other byte (the blank, the line feed, controls, 0x80 and up) as \xHH.
std::string EscapedBytes(const std::string& bytes);
