#pragma once
// The Custom command set: Epson's ESC/POS with Custom's cuts, italic and
// condensed carried by the print mode (ESC !), a QR code of its own, no page
// mode, no beep, images always in the column form (ESC *) and logos only in
// the legacy store, which it prints but cannot write or erase.
#include <string>

#include "posprinter/EscPosEpson.h"

namespace bilhetor {

class TEscCustomPos : public TEscPosEpson {
 public:
  explicit TEscCustomPos(TPosPrinter& impressora);

  // GS ( k with Custom's model, module size (at least 2) and error bytes.
  std::string MontarQRCode(const std::string& Codigo) override;
  // No page mode: empty.
  std::string MontarModoPagina() override;
  // Always the column form (ESC *), whatever KeyCode2 holds.
  std::string MontarImagemRaster(const std::string& Raster, int Largura, int Altura) override;
  // Writing and erasing a stored logo always raise EPosPrinterException.
  std::string MontarGravacaoLogo(const std::string& Raster, int Largura, int Altura) override;
  std::string MontarApagaLogo() override;
  // Only KeyCode1 1 with KeyCode2 0: "Custom apenas aceitas KeyCode1=1,
  // KeyCode2=0". So the logo prints in the legacy form only.
  void ValidarPosicaoLogo() override;
  // Maker (no query), firmware, model family and model name, and the cutter.
  // Failures of the queries reach the caller.
  std::string ConsultarInfo() override;

 protected:
  // Italic is bit 6 of ESC ! n, set with the other print mode attributes.
  bool ItalicoNoModoImpressao() const override;
};

}  // namespace bilhetor
