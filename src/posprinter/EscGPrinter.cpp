#include "posprinter/EscGPrinter.h"

#include "posprinter/PosPrinter.h"

namespace bilhetor {

TEscGPrinter::TEscGPrinter(TPosPrinter& impressora) : TEscPosEpson(impressora) {
  NomeModelo = "EscGPrinter";
  Comandos.Bip = std::string("\x1B\x42\x01\x03", 4);
}

void TEscGPrinter::ValidarPosicaoLogo() {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  if (cfg.KeyCode1 != 1 || cfg.KeyCode2 != 0)
    throw EPosPrinterException(NomeModelo + " apenas aceitas KeyCode1=1, KeyCode2=0");
}

}  // namespace bilhetor
