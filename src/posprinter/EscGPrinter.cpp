#include "posprinter/EscGPrinter.h"

#include "posprinter/PosBytes.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

TEscGPrinter::TEscGPrinter(TPosPrinter& impressora) : TEscPosEpson(impressora) {
  NomeModelo = "EscGPrinter";
  Comandos.Bip = B({0x1B, 0x42, 0x01, 0x03});
}

void TEscGPrinter::ValidarPosicaoLogo() {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  if (cfg.KeyCode1 != 1 || cfg.KeyCode2 != 0)
    throw EPosPrinterException(NomeModelo + " apenas aceitas KeyCode1=1, KeyCode2=0");
}

}  // namespace bilhetor
