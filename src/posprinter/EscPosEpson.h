#pragma once
// The Epson ESC/POS command set.
//
// The byte sequences are built by the free functions of namespace escpos,
// which take every parameter explicitly (so they can be checked without an
// engine and reused by the ESC/POS variants); the command set TEscPosEpson
// reads the engine's configuration and calls them.
#include <cstdint>
#include <string>
#include <string_view>

#include "posprinter/PosPrinterClass.h"
#include "posprinter/PosTypes.h"

namespace bilhetor {

namespace escpos {

// v as 2 (LE2) or 4 (LE4) bytes, low byte first. A value that does not fit
// (negative, or above 65535 / 4294967295) raises EPosPrinterException naming
// what the value is (oQue), instead of silently wrapping.
std::string LE2(int64_t valor, std::string_view oQue);
std::string LE4(int64_t valor, std::string_view oQue);

// The ESC ! n print-mode byte for a set of font attributes: 01 condensed or
// font B (the bit selects the font), 08 bold, 10 double height, 20 expanded
// (double width), 80 underline.
uint8_t ModoImpressao(TPosFonte estado);

// The symbology byte of GS k for a registered barcode tag (0 when the tag is
// not a barcode the printer draws) and, for the Code 128 tags, the subset
// prefix ("{A", "{B" or "{C").
struct SimbologiaBarras {
  uint8_t m = 0;
  std::string prefixo;
  bool empacotarPares = false;  // Code 128 subset C: digits packed in pairs
};
SimbologiaBarras SimbologiaPorTag(std::string_view tag);

// Code 128 subset C data: the digits of codigo, a "0" in front when their
// count is odd, each pair becoming one byte with its decimal value.
std::string EmpacotarCode128C(std::string_view codigo);

// The data of a Code 128 barcode: packed for subset C, then the subset
// prefix in front unless the data already starts with "{".
std::string DadosCode128(const SimbologiaBarras& simbologia, std::string_view codigo);

// The most bytes of data (subset prefix included) a barcode can carry: its
// length travels in one byte.
inline constexpr std::size_t kMaxDadosBarras = 255;

// GS w / GS h / GS H: module width (0 -> 2, else 1..4), height (0 -> 50,
// else 1..255) and text position (2 below the bars, 0 none).
std::string ParametrosBarras(bool mostrarCodigo, int larguraLinha, int altura);

// The whole barcode command: parameters, GS k m L and the data. A tag with
// no symbology returns codigo unchanged (printed as text). Data longer than
// kMaxDadosBarras raises EPosPrinterException.
std::string ComandoCodigoBarras(std::string_view tag, std::string_view codigo, bool mostrarCodigo,
                                int larguraLinha, int altura);

// The barcode command of the printers that take Code 128 as given (Diebold,
// Bematech): Epson's, except that the three Code 128 tags send the code
// unchanged with its own length (GS k 0x49 L): no subset prefix, no packing of
// digit pairs. A code longer than kMaxDadosBarras is refused, as Epson's.
std::string ComandoCodigoBarrasCode128Direto(std::string_view tag, std::string_view codigo, bool mostrarCodigo,
                                             int larguraLinha, int altura);

// GS ( k: model, module size, error correction, store data, print. An empty
// code gives nothing.
std::string ComandoQRCode(std::string_view codigo, int tipo, int larguraModulo, int errorLevel);

// ESC t n; empty for pcNone and pcUTF8.
std::string ComandoPaginaCodigo(TPosPaginaCodigo pagina);

// ESC p m t1 t2: m is 01 for drawer numbers above 1, else 00.
std::string ComandoGaveta(int numero, uint8_t tempoOn, uint8_t tempoOff);

// ESC T d: page-mode print direction.
std::string ComandoDirecaoPagina(TPosDirecao direcao);
// ESC W: the page-mode print area.
std::string ComandoAreaPagina(int esquerda, int topo, int largura, int altura);

// The stored-logo position of the legacy form: KeyCode1, with an ASCII digit
// taken as its value ("1" -> 1).
uint8_t PosicaoLogoLegado(uint8_t keyCode1);
// The two key-code characters read together as a decimal number ("0" "1"
// gives 1), or padrao when they are not one. A negative number ("-5") gives
// 0: no logo position is below 0, and the ticket still prints. Diebold and
// Bematech choose their stored logo by this number.
int NumeroLogoKeyCodes(uint8_t keyCode1, uint8_t keyCode2, int padrao);
// FS p n m: print a logo stored in the legacy form.
std::string ComandoLogoLegado(uint8_t keyCode1, uint8_t fatorX, uint8_t fatorY);
// GS ( L fn 69: print a logo stored under two key codes.
std::string ComandoLogoKeyCode(uint8_t keyCode1, uint8_t keyCode2, uint8_t fatorX, uint8_t fatorY);
// FS q 1: store a logo in the legacy form (only position 1); the raster is
// turned into one band of columns as tall as the image, padded to
// largura x ceil(altura / 8) x 8 bytes. The sizes (2 bytes each) and the
// raster's length are checked first.
std::string ComandoGravacaoLogoLegado(uint8_t keyCode1, const std::string& raster, int largura, int altura);
// GS 8 L fn 67: store a raster logo under two key codes.
std::string ComandoGravacaoLogoKeyCode(uint8_t keyCode1, uint8_t keyCode2, const std::string& raster,
                                       int largura, int altura);
// GS ( L fn 66: erase the logo stored under two key codes.
std::string ComandoApagaLogoKeyCode(uint8_t keyCode1, uint8_t keyCode2);

// GS 8 L fn 112 (store a raster in the graphics buffer) followed by
// GS ( L fn 50 (print it).
std::string ComandoImagemGrafica(const std::string& raster, int largura, int altura);

// ESC * 33 bands of 24 dots, each followed by LF. The header of each band
// announces the columns the band really carries (the width rounded up to a
// multiple of 8); a picture less than 24 dots tall is padded with blank rows
// so that every band has the 3 bytes per column that mode 33 expects.
std::string BandasColunas24(const std::string& raster, int largura, int altura);

// Checks that a raster holds ceil(largura / 8) bytes for each of altura
// rows, with both dimensions at least 1.
void ValidarRaster(const std::string& raster, int largura, int altura);

// Decoding of the first byte of the DLE EOT replies; flags are only added.
void DecodificarStatusImpressora(uint8_t b, TPosStatus& status);  // DLE EOT 1
void DecodificarCausaOffLine(uint8_t b, TPosStatus& status);      // DLE EOT 2
void DecodificarSensorPapel(uint8_t b, TPosStatus& status);       // DLE EOT 4

}  // namespace escpos

// The command set of ppEscPosEpson and the parent of the ESC/POS variants.
class TEscPosEpson : public TPosPrinterClass {
 public:
  explicit TEscPosEpson(TPosPrinter& impressora);

  std::string MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) override;
  std::string MontarQRCode(const std::string& Codigo) override;
  std::string MontarPaginaCodigo(TPosPaginaCodigo Pagina) override;
  std::string MontarGaveta(int Gaveta) override;
  // ESC ! n with the print mode attributes (the set as it will be after the
  // tag), then white-on-black and italic when they are in force; the other
  // attributes as the base class.
  std::string MontarFonte(TPosAtributoFonte Atributo, bool Ligar) override;
  std::string MontarModoPagina() override;
  // DLE EOT 1, 2 and 4. Never raises: a failed query adds stErroLeitura.
  void ConsultarStatus(TPosStatus& Status) override;
  // GS I: maker, firmware, model, serial number and the cutter.
  std::string ConsultarInfo() override;
  std::string MontarImagemRaster(const std::string& Raster, int Largura, int Altura) override;
  std::string MontarLogo() override;
  std::string MontarGravacaoLogo(const std::string& Raster, int Largura, int Altura) override;
  std::string MontarApagaLogo() override;
  // Both key codes of ConfigLogo must lie within 32..126.
  virtual void ValidarPosicaoLogo();

 protected:
  // Whether italic is a bit of ESC ! n (true) or has commands of its own.
  virtual bool ItalicoNoModoImpressao() const { return false; }
};

}  // namespace bilhetor
