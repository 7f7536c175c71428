#pragma once
// The Daruma command set. At activation on a port that answers (serial, TCP,
// USB hook) it reads the printer's identification, takes the columns of the
// normal font and the condensed ratio from it, and programs the printer's
// mode with MontarProgramacao sent straight through the device; on other
// ports (a file, a printer queue) nothing is asked, and every initialisation
// carries the programming command with "1" instead.
//
// States: ModoConfigurado is false after construction and at the start of
// every activation, and true once the activation has programmed the printer.
#include <string>

#include "posprinter/PosPrinterClass.h"

namespace bilhetor {

class TEscDaruma : public TPosPrinterClass {
 public:
  explicit TEscDaruma(TPosPrinter& impressora);

  // ESC b m w h t, the code, 00. "<upce>" has no symbology and prints as
  // text; a code holding a 00 byte is refused (it would end the code early).
  std::string MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) override;
  // ESC 81, the length in two bytes, module size, error level, the data.
  // Data above 256 bytes needs a module of at least 4 (raised in the
  // engine's ConfigQRCode for later codes) and at least level M.
  std::string MontarQRCode(const std::string& Codigo) override;
  // ESC p for any drawer.
  std::string MontarGaveta(int Gaveta) override;
  // Line spacing and code page, after MontarProgramacao("1") while the
  // printer has not been programmed since activation.
  std::string MontarInicializacao() override;
  // Reads the identification and programs the printer (see above). Failures
  // of the queries or of the send reach the engine's activation.
  void AposAtivar() override;
  // ENQ and GS ENQ, one byte each. Never raises: silence or a failed query
  // adds stErroLeitura and skips the rest.
  void ConsultarStatus(TPosStatus& Status) override;
  // Maker (no query), firmware and model (replies up to CR, first byte
  // dropped), then the cutter, the columns and the code page picked from the
  // ESC E5 reply. Failures reach the caller.
  std::string ConsultarInfo() override;
  // The stored logo: 16 08 16 09.
  std::string MontarLogo() override;

  // ESC C6 and 40 parameter bytes: 30 "X", Valor, 9 "X".
  static std::string MontarProgramacao(char Valor);

  bool ModoConfigurado() const { return modoConfigurado_; }

 private:
  bool modoConfigurado_ = false;
};

}  // namespace bilhetor
