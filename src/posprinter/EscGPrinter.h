#pragma once
// The GPrinter command set, which also serves the ZJiang printers: Epson's
// ESC/POS with its own beep. These printers keep their logo in the legacy
// store only (FS p / FS q, KeyCode2 0); the key-code logo commands are
// refused.
#include "posprinter/EscPosEpson.h"

namespace bilhetor {

class TEscGPrinter : public TEscPosEpson {
 public:
  explicit TEscGPrinter(TPosPrinter& impressora);

  // Only KeyCode1 1 with KeyCode2 0 is accepted. The Epson logo operations
  // ask for it in their key-code form alone (KeyCode2 not 0), so there it
  // always fails with NomeModelo + " apenas aceitas KeyCode1=1, KeyCode2=0".
  void ValidarPosicaoLogo() override;
};

}  // namespace bilhetor
