#pragma once
// Helpers of the preview tests: the bytes the printer engine sends for a
// tagged text, the ink of a picture, and zbarimg reading the codes back.
#include <QImage>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

#include "posprinter/PosPrinter.h"
#include "preview/Folha.h"

namespace bilhetor::preview::teste {

// The bytes the Epson command set sends for the tagged lines (each line goes
// through the engine's buffer, as the print server sends a ticket), with the
// engine prepared by the application's start-up settings and then `ajustar`.
std::string BytesEpson(const std::vector<std::string>& linhas,
                       const std::function<void(TPosPrinter&)>& ajustar = nullptr);

// Black dots (ink) in a part of the picture.
int Tinta(const QImage& imagem, const QRect& area);
// The smallest rectangle holding every black dot of the area (empty when none).
QRect CaixaDaTinta(const QImage& imagem, const QRect& area);
// Dots of a colour that is neither paper white nor ink black.
int Anotado(const QImage& imagem, const QRect& area);

QRect Retangulo(const TRetangulo& r);

// zbarimg on a picture: one "TYPE:data" line per symbol found, sorted.
// Raises std::runtime_error when zbarimg cannot be run.
std::vector<std::string> LerCodigos(const QImage& imagem);
// zbarimg on a part of the picture with `margem` dots of paper around it.
std::vector<std::string> LerCodigos(const QImage& imagem, const QRect& area, int margem = 24);

// The objects of a kind, in order.
std::vector<TObjeto> Objetos(const TFolha& folha, TTipoObjeto tipo);

}  // namespace bilhetor::preview::teste
