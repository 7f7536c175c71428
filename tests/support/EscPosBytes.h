#pragma once
// Byte strings written as hexadecimal text ("1B 21 08"), for tests that
// compare printer commands.
#include <cctype>
#include <stdexcept>
#include <string>
#include <string_view>

namespace bilhetor::testing_bytes {

// "1B 21 08" -> the three bytes; blanks between pairs are optional.
inline std::string H(std::string_view hex) {
  std::string out;
  int nibble = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else throw std::invalid_argument("bad hex text");
    if (nibble < 0) {
      nibble = v;
    } else {
      out.push_back(static_cast<char>(nibble * 16 + v));
      nibble = -1;
    }
  }
  if (nibble >= 0) throw std::invalid_argument("odd hex text");
  return out;
}

// The bytes as "1B 21 08", for readable failure messages.
inline std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

}  // namespace bilhetor::testing_bytes
