#pragma once
// Draws a laid-out paper (Folha.h) into a picture with Qt's QImage and
// QPainter, and writes it as PNG.
//
// Ink is black on white. Characters come from DejaVu Sans Mono (Debian's
// fonts-dejavu-core), rendered without smoothing into the printer's cells,
// 12 x 24 dots for font A and 9 x 17 for font B, and enlarged dot by dot for
// double width and height, as the printer enlarges its own font; emphasized
// text is printed twice one dot apart, italic is slanted. Annotations are
// drawn in colour: red bands for unknown commands and errors, blue bands for
// notes, orange (drawer) and purple (beep) marks in the left margin, blue cut
// lines, green boxes for logos kept in the printer, a grey outline around the
// area of a page-mode page.
//
// Qt draws text only with a QGuiApplication. When the program has none (a
// command-line tool, the headless server, a test), the first drawing creates
// one on Qt's "offscreen" platform, which needs no display, and keeps it for
// the life of the process; its warnings (such as a missing XDG_RUNTIME_DIR)
// are dropped. A program with its own QGuiApplication or QApplication (the
// tray window) draws with that one. Drawing is serialized: one picture at a
// time in the process.
#include <QImage>
#include <string>

#include "common/Exception.h"
#include "preview/Folha.h"

namespace bilhetor::preview {

// A failure of the preview itself: no usable Qt application, a picture that
// cannot be written.
BILHETOR_DECLARE_ERROR(EPreview);

// Makes sure a QGuiApplication exists (see above). Raises EPreview when the
// process has a plain QCoreApplication, with which Qt cannot draw text.
void GarantirAplicacaoGrafica();

// The picture of the paper, folha.largura x folha.altura dots (RGB32).
QImage DesenharFolha(const TFolha& folha);

// The picture as the bytes of a PNG file, with a palette of the preview's few
// colours.
std::string CodificarPng(const QImage& imagem);

// DesenharFolha and CodificarPng in one, drawing into buffers kept from the
// picture before (up to 16 MB): a fresh picture of several megabytes costs
// more in page faults than its drawing.
std::string DesenharPng(const TFolha& folha);

}  // namespace bilhetor::preview
