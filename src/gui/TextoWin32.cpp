#include "gui/TextoWin32.h"

#include "common/Texto1252.h"

namespace bilhetor {

std::wstring Largo(const std::string& texto) {
  std::wstring largo;
  largo.reserve(texto.size());
  for (const char c : texto) {
    const auto byte = static_cast<unsigned char>(c);
    const uint16_t alto = byte >= 0x80 && byte < 0xA0 ? kCp1252Alto[byte - 0x80] : 0;
    largo += static_cast<wchar_t>(alto ? alto : byte);
  }
  return largo;
}

std::string Estreito(const std::wstring& texto) {
  std::string estreito;
  estreito.reserve(texto.size());
  for (const wchar_t c : texto) {
    const auto u = static_cast<uint16_t>(c);
    char byte = '?';
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      byte = static_cast<char>(u);
    } else {
      for (int b = 0; b < 32; ++b)
        if (kCp1252Alto[b] == u || (kCp1252Alto[b] == 0 && u == 0x80 + b)) byte = static_cast<char>(0x80 + b);
    }
    estreito += byte;
  }
  return estreito;
}

std::string TextoDe(HWND controle) {
  const int n = GetWindowTextLengthW(controle);
  std::wstring texto(static_cast<std::size_t>(n) + 1, L'\0');
  texto.resize(static_cast<std::size_t>(GetWindowTextW(controle, texto.data(), n + 1)));
  return Estreito(texto);
}

void DefinirTexto(HWND controle, const std::string& texto) { SetWindowTextW(controle, Largo(texto).c_str()); }

}  // namespace bilhetor
