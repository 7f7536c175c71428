#include "gui/TextoQt.h"

#include <array>

#include "common/Texto1252.h"

namespace bilhetor {

QString ParaQt(const std::string& texto) {
  return QString::fromStdString(Cp1252ParaUtf8(texto));
}

std::string DeQt(const QString& texto) {
  // Windows-1252 is Latin-1 but for 80-9F, where it holds the euro sign,
  // the typographic quotes and a few letters; those come from the same table
  // that ParaQt uses.
  static const std::array<char16_t, 32> kAlto = [] {
    std::array<char16_t, 32> a{};
    for (int b = 0; b < 32; ++b)
      a[static_cast<std::size_t>(b)] = ParaQt(std::string(1, static_cast<char>(0x80 + b))).at(0).unicode();
    return a;
  }();
  std::string saida;
  saida.reserve(static_cast<std::size_t>(texto.size()));
  for (const QChar c : texto) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      saida += static_cast<char>(u);
      continue;
    }
    char byte = '?';
    for (std::size_t b = 0; b < kAlto.size(); ++b)
      if (kAlto[b] == u) byte = static_cast<char>(0x80 + b);
    saida += byte;
  }
  return saida;
}

}  // namespace bilhetor
