#include "posprinter/CodePage.h"

#include <array>

#include "common/Strings.h"
#include "posprinter/CodePageTables.h"

namespace bilhetor {

namespace {

// Windows-1252 letters folded to ASCII, then everything that is not BS, LF,
// CR or printable ASCII made a blank.
constexpr std::array<unsigned char, 256> MontarTabelaAscii() {
  std::array<unsigned char, 256> t{};
  for (int b = 0; b < 256; ++b) {
    int c = b;
    if (b >= 0xC0) {
      if (b <= 0xC6) c = 'A';
      else if (b == 0xC7) c = 'C';
      else if (b <= 0xCB) c = 'E';
      else if (b <= 0xCF) c = 'I';
      else if (b == 0xD0) c = 'D';
      else if (b == 0xD1) c = 'N';
      else if (b <= 0xD6) c = 'O';
      else if (b == 0xD7) c = 'x';
      else if (b == 0xD8) c = '0';
      else if (b <= 0xDC) c = 'U';
      else if (b == 0xDD) c = 'Y';
      else if (b == 0xDE) c = 'b';
      else if (b == 0xDF) c = 'B';
      else if (b <= 0xE6) c = 'a';
      else if (b == 0xE7) c = 'c';
      else if (b <= 0xEB) c = 'e';
      else if (b <= 0xEF) c = 'i';
      else if (b == 0xF0) c = 'o';
      else if (b == 0xF1) c = 'n';
      else if (b <= 0xF6) c = 'o';
      else if (b == 0xF7) c = '/';
      else if (b == 0xF8) c = '0';
      else if (b <= 0xFC) c = 'u';
      else if (b == 0xFE) c = 'b';
      else c = 'y';  // FD, FF
    }
    const bool mantem = c == 0x08 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0x7E);
    t[static_cast<std::size_t>(b)] = static_cast<unsigned char>(mantem ? c : ' ');
  }
  return t;
}

constexpr std::array<unsigned char, 256> kAscii = MontarTabelaAscii();

std::string PorTabela(std::string_view texto, const unsigned char* tabela) {
  std::string r(texto.size(), '\0');
  const auto* in = reinterpret_cast<const unsigned char*>(texto.data());
  char* out = r.data();
  const std::size_t n = texto.size();
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(tabela[in[i]]);
  return r;
}

std::string ParaUtf8(std::string_view texto) {
  const auto* in = reinterpret_cast<const unsigned char*>(texto.data());
  const std::size_t n = texto.size();
  std::size_t tamanho = 0;
  for (std::size_t i = 0; i < n; ++i) tamanho += codepages::k1252ParaUtf8[in[i]][0];
  // Three spare bytes let every entry be copied whole, without a branch on
  // its length; they are cut off at the end.
  std::string r(tamanho + 3, '\0');
  char* out = r.data();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char* e = codepages::k1252ParaUtf8[in[i]];
    out[0] = static_cast<char>(e[1]);
    out[1] = static_cast<char>(e[2]);
    out[2] = static_cast<char>(e[3]);
    out += e[0];
  }
  r.resize(tamanho);
  return r;
}

}  // namespace

int CodigoPaginaWindows(TPosPaginaCodigo Pagina) {
  switch (Pagina) {
    case TPosPaginaCodigo::pcNone: return 0;
    case TPosPaginaCodigo::pc437: return 437;
    case TPosPaginaCodigo::pc850: return 850;
    case TPosPaginaCodigo::pc852: return 852;
    case TPosPaginaCodigo::pc860: return 860;
    case TPosPaginaCodigo::pcUTF8: return 65001;
    case TPosPaginaCodigo::pc1252: return 1252;
  }
  throw EPosPrinterException(Format("Pagina de codigo invalida: %d", static_cast<int>(Pagina)));
}

bool PaginaDeCodigoSuportada(int CodigoPagina) {
  switch (CodigoPagina) {
    case 437:
    case 850:
    case 852:
    case 860:
    case 1252:
    case 65001:
      return true;
    default:
      return false;
  }
}

std::string TextoParaAscii(std::string_view Texto) { return PorTabela(Texto, kAscii.data()); }

std::string ConverterPaginaDeCodigo(std::string_view Texto, int CodigoPagina) {
  switch (CodigoPagina) {
    case 437: return PorTabela(Texto, codepages::k1252Para437);
    case 850: return PorTabela(Texto, codepages::k1252Para850);
    case 852: return PorTabela(Texto, codepages::k1252Para852);
    case 860: return PorTabela(Texto, codepages::k1252Para860);
    case 1252: return std::string(Texto);
    case 65001: return ParaUtf8(Texto);
    default: break;
  }
  throw EPosPrinterException(Format("Pagina de codigo nao suportada: %d", CodigoPagina));
}

std::string CodificarPaginaDeCodigo(std::string_view Texto, TPosPaginaCodigo Pagina) {
  const int p = CodigoPaginaWindows(Pagina);
  return p == 0 ? TextoParaAscii(Texto) : ConverterPaginaDeCodigo(Texto, p);
}

}  // namespace bilhetor
