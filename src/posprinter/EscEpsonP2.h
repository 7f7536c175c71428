#pragma once
// The Epson P2 command set, for the older Epson matrix printers: fixed
// sequences only. Every operation is the base one, so barcodes print as
// text, and QR codes, code pages, drawer, page mode, images and logos send
// nothing.
#include "posprinter/PosPrinterClass.h"

namespace bilhetor {

class TEscEpsonP2 : public TPosPrinterClass {
 public:
  explicit TEscEpsonP2(TPosPrinter& impressora);
};

}  // namespace bilhetor
