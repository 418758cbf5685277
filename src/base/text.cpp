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
