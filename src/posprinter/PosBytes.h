#pragma once
// Printer commands written as lists of byte values, the way the command
// tables read: B({0x1B, 0x40}) + Byte(n).
#include <cstdint>
#include <initializer_list>
#include <string>

namespace bilhetor {

inline std::string B(std::initializer_list<uint8_t> bytes) {
  std::string s;
  s.reserve(bytes.size());
  for (uint8_t b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

// The low byte of a number, as one byte of a command.
inline char Byte(int v) { return static_cast<char>(static_cast<uint8_t>(v)); }

}  // namespace bilhetor
