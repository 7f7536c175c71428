#pragma once
// The Bematech command set, also the parent of Elgin's. Its own fixed
// sequences (ESC/Bema), Epson's GS k barcodes with Code 128 sent as given,
// a QR code through GS k Q, images in the column form (ESC *) and logos in
// the legacy store (FS p / FS q) at position 1 only.
#include <string>

#include "posprinter/PosPrinterClass.h"

namespace bilhetor {

class TEscBematech : public TPosPrinterClass {
 public:
  explicit TEscBematech(TPosPrinter& impressora);

  std::string MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) override;
  // GS k Q e s 00 01, the data length in two bytes, the data.
  std::string MontarQRCode(const std::string& Codigo) override;
  // ESC t n for 437, 850, 860 and UTF-8; nothing for the others.
  std::string MontarPaginaCodigo(TPosPaginaCodigo Pagina) override;
  // ESC v t (drawer 1) or ESC 80 t (drawer 2), t the longer of the two
  // pulse times.
  std::string MontarGaveta(int Gaveta) override;
  // GS F9 20 00 (ESC/POS mode), then line spacing and code page.
  std::string MontarInicializacao() override;
  // GS F8 31, five bytes. Never raises: silence or a failed query adds
  // stErroLeitura; a one-byte reply reads the second byte as 00.
  void ConsultarStatus(TPosStatus& Status) override;
  // Model, serial number, firmware and the cutter. Failures reach the caller.
  std::string ConsultarInfo() override;
  // Always the column form (ESC *).
  std::string MontarImagemRaster(const std::string& Raster, int Largura, int Altura) override;
  // FS p n m: n from KeyCode1 in the legacy form (KeyCode2 0), else the two
  // key-code characters read as a number (1 when they are not one).
  std::string MontarLogo() override;
  // The legacy store (FS q) at position 1; any key codes but KeyCode1 1 and
  // KeyCode2 0 raise "Bematech apenas aceitas KeyCode1=1, KeyCode2=0".
  std::string MontarGravacaoLogo(const std::string& Raster, int Largura, int Altura) override;
  std::string MontarApagaLogo() override;

 protected:
  // The pulse time of the drawer commands.
  uint8_t TempoGaveta() const;
  // Appends the flags of one status reply; an empty reply adds stErroLeitura.
  static void DecodificarStatus(const std::string& Resposta, TPosStatus& Status);

 private:
  void ValidarLogoLegado() const;
};

}  // namespace bilhetor
