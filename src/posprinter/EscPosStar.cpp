#include "posprinter/EscPosStar.h"

namespace bilhetor {

TEscPosStar::TEscPosStar(TPosPrinter& impressora) : TEscPosEpson(impressora) {
  NomeModelo = "EscPosStar";
  Comandos.Bip = std::string("\x1B\x1D\x07\x01\x02\x05", 6);
  Comandos.InicioItalico.clear();
  Comandos.FimItalico.clear();
  TagsSemSuporte.push_back("<i>");
  TagsSemSuporte.push_back("</i>");
}

}  // namespace bilhetor
