#include "common/Texto1252.h"

namespace bilhetor {

const uint16_t kCp1252Alto[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string Cp1252ParaUtf8(std::string_view texto) {
  std::string saida;
  saida.reserve(texto.size() + texto.size() / 4);
  for (const unsigned char c : texto) {
    uint32_t cp = c;
    if (c >= 0x80 && c < 0xA0 && kCp1252Alto[c - 0x80]) cp = kCp1252Alto[c - 0x80];
    if (cp < 0x80) {
      saida += static_cast<char>(cp);
    } else if (cp < 0x800) {
      saida += static_cast<char>(0xC0 | (cp >> 6));
      saida += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      saida += static_cast<char>(0xE0 | (cp >> 12));
      saida += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      saida += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return saida;
}

}  // namespace bilhetor
