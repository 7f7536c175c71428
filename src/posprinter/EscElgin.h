#pragma once
// The Elgin command set, which also serves the Vox printers: Bematech's with
// Elgin's QR code, drawer and one-byte status.
#include <string>

#include "posprinter/EscBematech.h"

namespace bilhetor {

class TEscElgin : public TEscBematech {
 public:
  explicit TEscElgin(TPosPrinter& impressora);

  // GS o 00 s 00 t, then GS k 0B e "A," with the data ended by a 00 byte.
  // Data holding a 00 byte itself is refused: it would end the code early.
  std::string MontarQRCode(const std::string& Codigo) override;
  // ESC v n t for any drawer, t the longer of the two pulse times.
  std::string MontarGaveta(int Gaveta) override;
  // ENQ, one byte. Never raises: silence or a failed query adds stErroLeitura.
  void ConsultarStatus(TPosStatus& Status) override;
};

}  // namespace bilhetor
