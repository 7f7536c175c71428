#pragma once
// The paper of a receipt preview: what the interpreter (EscPosInterpretador.h)
// laid out from the printer bytes, ready to be drawn (Desenho.h). Nothing here
// depends on Qt.
//
// Coordinates are dots of the picture, which is the paper: x from the paper's
// left edge (the printable area starts at Margem), y from the top. One dot is
// one printer dot (8 dots per mm on the 203 dpi printers of this family).
//
// Ink (what the printer prints) is glyphs, rectangles and bitmaps, drawn
// black. Annotations (what the preview adds so that a person sees what the
// bytes did: unknown commands, drawer pulses, beeps, cuts, logos stored in the
// printer) are drawn in colour and never taken for ink.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bilhetor::preview {

// The sizes of the printer's two fonts, in dots.
inline constexpr int kLarguraFonteA = 12;
inline constexpr int kAlturaFonteA = 24;
inline constexpr int kLarguraFonteB = 9;
inline constexpr int kAlturaFonteB = 17;

struct TEstiloTexto {
  bool fonteB = false;     // font B (9 x 17): ESC M 1, ESC ! bit 0, SI (condensed)
  bool negrito = false;    // emphasized: ESC E, ESC G, ESC ! bit 3
  bool italico = false;    // ESC 4
  bool invertido = false;  // white on black: GS B
  uint8_t sublinhado = 0;  // underline thickness in dots, 0 to 2: ESC -, ESC ! bit 7
  uint8_t escalaX = 1;     // width multiple, 1 to 8: GS !, ESC ! bit 5
  uint8_t escalaY = 1;     // height multiple, 1 to 8: GS !, ESC ! bit 4
  bool operator==(const TEstiloTexto&) const = default;

  int LarguraCelula() const { return (fonteB ? kLarguraFonteB : kLarguraFonteA) * escalaX; }
  int AlturaCelula() const { return (fonteB ? kAlturaFonteB : kAlturaFonteA) * escalaY; }
};

// One printed character: its character cell at (x, y), `largura` dots wide
// (the cell and the right-side spacing; underline and inversion cover it all)
// and the cell's height tall.
struct TGlifo {
  int x = 0;
  int y = 0;
  int largura = 0;
  char32_t codigo = U' ';
  TEstiloTexto estilo;
};

struct TRetangulo {
  int x = 0;
  int y = 0;
  int largura = 0;
  int altura = 0;
  int Direita() const { return x + largura; }
  int Base() const { return y + altura; }
  bool operator==(const TRetangulo&) const = default;
};

// A monochrome picture: rows top to bottom, ceil(largura / 8) bytes per row,
// the most significant bit the leftmost dot, 1 a printed dot. Each source dot
// is printed escalaX by escalaY dots, from (x, y).
struct TBitmap {
  int x = 0;
  int y = 0;
  int largura = 0;  // source dots
  int altura = 0;   // source rows
  int escalaX = 1;
  int escalaY = 1;
  std::string raster;
  int LarguraImpressa() const { return largura * escalaX; }
  int AlturaImpressa() const { return altura * escalaY; }
};

enum class TTipoAnotacao {
  Desconhecido,  // bytes the printer family does not define: red band with the bytes
  Erro,          // a command the printer cannot carry out (bad sizes, cut short)
  Nota,          // a known command with no ink of its own worth seeing
  Gaveta,        // drawer pulse: a mark in the left margin
  Bip,           // buzzer: a mark in the left margin
  CorteTotal,    // full cut: a line across the paper
  CorteParcial,  // partial cut: a line with an uncut point in the middle
  Logo,          // a logo stored in the printer: a box in its place with its key codes
};

struct TAnotacao {
  TTipoAnotacao tipo = TTipoAnotacao::Nota;
  TRetangulo area;
  std::string texto;  // Windows-1252
};

// What the preview drew where, for the people and the tests that check it.
enum class TTipoObjeto { Texto, Barras, QRCode, Imagem, Logo, Gaveta, Bip, Corte };

struct TObjeto {
  TTipoObjeto tipo = TTipoObjeto::Texto;
  TRetangulo area;      // the ink (for barcodes without their readable text)
  std::string dados;    // barcode and QR data as decoded; a text line's bytes as sent
  std::string detalhe;  // symbology, error level, image size ...
};

struct TFolha;

// A page of page mode: its content laid out in its own coordinates (origin at
// the top left of its print area), turned by `direcao` quarter turns
// anticlockwise (ESC T: 0 none, 1 bottom to top, 2 upside down, 3 top to
// bottom) and put into `area` of the paper.
struct TPaginaImpressa {
  TRetangulo area;
  int direcao = 0;
  std::unique_ptr<TFolha> conteudo;
};

struct TFolha {
  int largura = 0;           // the paper, in dots
  int altura = 0;
  int margem = 0;            // dots left of the printable area
  int larguraImpressao = 0;  // the printable area

  std::vector<TGlifo> glifos;
  std::vector<TRetangulo> tinta;
  std::vector<TBitmap> bitmaps;
  std::vector<TPaginaImpressa> paginas;
  std::vector<TAnotacao> anotacoes;
  std::vector<TObjeto> objetos;

  // The text of every band: unknown commands, errors and notes, in the order
  // met (Windows-1252).
  std::vector<std::string> avisos;
  // Set when the paper reached the longest picture allowed and the rest was
  // left out.
  bool truncada = false;
};

}  // namespace bilhetor::preview
