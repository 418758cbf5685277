#include "base/text.h"

bool IsControlByte(char ch) {
  const unsigned char byte = static_cast<unsigned char>(ch);
  return byte < 0x20 || byte == 0x7F;
}

std::string UpperCased(std::string text) {
  for (char& ch : text)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return text;
}

std::string EscapedBytes(const std::string& bytes) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const char ch : bytes) {
    const unsigned char byte = static_cast<unsigned char>(ch);
    if (byte == '\r') {
      text += "\\r";
    } else if (byte > 0x20 && byte < 0x7F && byte != '\\') {
      text += ch;
    } else {
      text += "\\x";
      text += kHexDigits[byte >> 4];
      text += kHexDigits[byte & 0xF];
    }
  }
  return text;
}
