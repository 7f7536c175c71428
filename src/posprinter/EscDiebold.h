#pragma once
// The Diebold command set: Epson's ESC/POS with Code 128 sent as given, a QR
// code through ESC ( k that follows the alignment in force, and logos
// printed by number (GS 0 9).
#include <string>

#include "posprinter/EscPosEpson.h"

namespace bilhetor {

class TEscDiebold : public TEscPosEpson {
 public:
  explicit TEscDiebold(TPosPrinter& impressora);

  std::string MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) override;
  // ESC ( k: alignment ("0" left, "1" otherwise), module size, error level,
  // data, print. No model piece.
  std::string MontarQRCode(const std::string& Codigo) override;
  // GS 0 9 n: n is the key-code characters read as a number (0 when they are
  // not one), at most 9.
  std::string MontarLogo() override;
  // "Fabricante=Diebold"; nothing is asked.
  std::string ConsultarInfo() override;
};

}  // namespace bilhetor
