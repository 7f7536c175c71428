#pragma once
// The Diebold command set: Epson's ESC/POS with Code 128 sent as given, a QR
// code through ESC ( k that follows the alignment in force, and logos
// printed by number (GS 0 9).
#include <cstdint>
#include <string>
#include <string_view>

#include "posprinter/EscPosEpson.h"

namespace bilhetor {

namespace escpos {

// Epson's barcode command, except that the three Code 128 tags send the code
// unchanged with its own length (GS k 49 L): no subset prefix, no packing of
// digit pairs. A code longer than kMaxDadosBarras is refused, as Epson's.
std::string ComandoCodigoBarrasCode128Direto(std::string_view tag, std::string_view codigo, bool mostrarCodigo,
                                             int larguraLinha, int altura);

// The two key-code characters read together as a decimal number ("0" "1"
// gives 1), or padrao when they are not one. A negative number ("-5") gives
// 0: no logo position is below 0, and the ticket still prints.
int NumeroLogoKeyCodes(uint8_t keyCode1, uint8_t keyCode2, int padrao);

}  // namespace escpos

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
