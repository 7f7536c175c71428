#pragma once
// The Star command set (printers in their ESC/POS emulation): Epson's with
// Star's beep and no italic. With the italic sequences empty, "<i>" and
// "</i>" send nothing and the combined print mode adds nothing for italic.
#include "posprinter/EscPosEpson.h"

namespace bilhetor {

class TEscPosStar : public TEscPosEpson {
 public:
  explicit TEscPosStar(TPosPrinter& impressora);
};

}  // namespace bilhetor
