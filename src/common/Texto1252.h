#pragma once
// The program's text is Windows-1252 bytes; terminals, Qt and the journal of
// the service manager want UTF-8: the conversion for the views and the log
// lines. Bytes that Windows-1252 leaves unassigned (81, 8D, 8F, 90, 9D)
// become the control characters of the same number, as Windows maps them, so
// that every byte comes back from a view as it went.
#include <cstdint>
#include <string>
#include <string_view>

namespace bilhetor {

// The Unicode code points of the bytes 80 to 9F (0: unassigned, the byte is
// its own code point); the other bytes are their own code points.
extern const uint16_t kCp1252Alto[32];

std::string Cp1252ParaUtf8(std::string_view texto);

}  // namespace bilhetor
