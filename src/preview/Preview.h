#pragma once
// The receipt preview: the picture of the paper that a printer of the Epson
// ESC/POS family would print from the bytes the engine sends it, for the
// people who set up printers, change the ticket layout or chase a complaint.
//
//   bytes --InterpretarEscPos--> TFolha (what goes where) --DesenharFolha--> QImage --> PNG
//
// The interpreter (EscPosInterpretador.h) says which commands it knows and how
// it shows the others; the drawing (Desenho.h) says how the picture looks and
// how it runs without a display.
#include <QImage>
#include <string>
#include <string_view>
#include <vector>

#include "preview/Desenho.h"
#include "preview/EscPosInterpretador.h"
#include "preview/Folha.h"

namespace bilhetor::preview {

struct TPreview {
  TFolha folha;   // what was laid out where, the warnings among it
  QImage imagem;  // the picture
};

// Lays out and draws the bytes. Raises EPreview only when Qt cannot draw.
TPreview RenderizarEscPos(std::string_view bytes, const TOpcoesPreview& opcoes = TOpcoesPreview());

// Lays out and draws the bytes, as the bytes of a PNG file.
std::string PngEscPos(std::string_view bytes, const TOpcoesPreview& opcoes = TOpcoesPreview());

// Renders the bytes and writes the picture as a PNG file (written whole under
// a temporary name, then renamed). Returns the warnings of the interpreter:
// unknown commands, errors and notes, Windows-1252 text. Raises EPreview
// "Não foi possível gravar a imagem <arquivo>: <reason>" when the file cannot
// be written.
std::vector<std::string> GravarPngEscPos(std::string_view bytes, const std::string& arquivo,
                                         const TOpcoesPreview& opcoes = TOpcoesPreview());

}  // namespace bilhetor::preview
