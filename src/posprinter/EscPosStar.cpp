#include "posprinter/EscPosStar.h"

#include "posprinter/PosBytes.h"

namespace bilhetor {

TEscPosStar::TEscPosStar(TPosPrinter& impressora) : TEscPosEpson(impressora) {
  NomeModelo = "EscPosStar";
  Comandos.Bip = B({0x1B, 0x1D, 0x07, 0x01, 0x02, 0x05});
  Comandos.InicioItalico.clear();
  Comandos.FimItalico.clear();
  TagsSemSuporte.push_back("<i>");
  TagsSemSuporte.push_back("</i>");
}

}  // namespace bilhetor
