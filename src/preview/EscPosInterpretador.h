#pragma once
// The interpreter of the receipt preview: lays out the bytes sent to a printer
// of the Epson ESC/POS family on a paper (Folha.h) as the printer would print
// them. It knows what the Epson command set sends and the common commands
// around it:
//
//   text          bytes 20..FF through the character table of ESC t (PC437
//                 after ESC @); a line prints at LF, or when the next
//                 character no longer fits (the line wraps)
//   lines         LF, ESC J, ESC d, line spacing ESC 2 / ESC 3 (a line feeds
//                 at least its own height), HT (every 8 characters), CR
//                 (ignored, as with automatic line feed off)
//   fonts         ESC ! (font B, emphasized, double height and width,
//                 underline), ESC E, ESC G, ESC -, ESC M, SI / DC2 (condensed,
//                 drawn as font B), GS ! (1 to 8 times), GS B (inverted),
//                 ESC 4 / ESC 5 (italic, drawn slanted), ESC SP
//   position      ESC a (at the start of a line only), GS L, GS W, ESC \ and ESC $
//   barcodes      GS k (both forms; UPC-A, UPC-E, EAN-13, EAN-8, CODE 39,
//                 ITF, CODABAR, CODE 93, CODE 128 with its {A {B {C sets),
//                 GS w, GS h, GS H, GS f
//   QR codes      GS ( k: model, module size, error level, store, print
//   images        GS v 0, ESC * (the column form), GS ( L / GS 8 L graphics
//                 (store in the buffer and print)
//   logos         GS ( L print by key codes and FS p: a box with the key codes
//                 in place of the logo kept in the printer, or the logo itself
//                 when the same bytes stored it (GS 8 L define, FS q)
//   drawer, beep  ESC p, DLE DC4 1, ESC ( A: marks in the left margin
//   cuts          GS V (the four forms), ESC i, ESC m: cut lines
//   page mode     ESC L, ESC W, ESC T, ESC FF, FF, ESC S, CAN, GS $
//   reset         ESC @
//
// Every other byte or command is shown as a red band with its bytes, and so
// is a command cut short or one the printer could not carry out (a raster
// claiming more data than there is, a barcode wider than the paper). Nothing
// is skipped silently and nothing is allocated beyond the size of the input:
// image data is taken only when all of it is there, and the paper stops at
// TOpcoesPreview::alturaMaxima.
//
// Choices where the printers differ: line spacing 30 dots after ESC @; a page
// of page mode without ESC W is as wide as the printable area and as tall as
// its content; a barcode, QR code or image that arrives in the middle of a
// line prints that line first.
#include <string_view>

#include "preview/Folha.h"

namespace bilhetor::preview {

struct TOpcoesPreview {
  int larguraImpressao = 576;  // printable dots: 576 on 80 mm paper, 384 on 58 mm
  int margem = 32;             // paper each side of the printable area
  int alturaMaxima = 16000;    // the longest paper drawn (2 m)

  static TOpcoesPreview Papel80mm() { return TOpcoesPreview{576, 32, 16000}; }
  static TOpcoesPreview Papel58mm() { return TOpcoesPreview{384, 40, 16000}; }
};

// Lays out the bytes. Never throws for any input.
TFolha InterpretarEscPos(std::string_view bytes, const TOpcoesPreview& opcoes = TOpcoesPreview());

}  // namespace bilhetor::preview
