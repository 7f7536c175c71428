#pragma once
// Barcodes and QR codes encoded with libzint. Only the modules come from the
// library; the interpreter scales them to the printer's module width, bar
// height and QR module size, and lays out the readable text itself.
#include <string>
#include <string_view>
#include <vector>

#include "preview/Folha.h"

namespace bilhetor::preview {

enum class TSimbologia { UpcA, UpcE, Ean13, Ean8, Code39, Itf, Codabar, Code93, Code128, QRCode, MicroQR };

// The symbology's name as the preview shows it ("EAN-13", "QR Code").
const char* NomeSimbologia(TSimbologia s);

struct TSimboloCodificado {
  bool ok = false;
  std::string erro;              // libzint's message when not ok
  int largura = 0;               // modules
  int altura = 0;                // rows of modules (1 for the linear codes)
  std::vector<TRetangulo> modulos;  // dark modules and bars, in modules
  std::string texto;             // the readable text libzint gives (check digits included), UTF-8
};

// Encodes dados (bytes). nivelErro is the QR error correction level, 0 (L) to
// 3 (H), and is ignored by the linear symbologies. Never throws: a symbol the
// library refuses comes back with ok false and its message.
TSimboloCodificado CodificarSimbolo(TSimbologia simbologia, std::string_view dados, int nivelErro = 0);

}  // namespace bilhetor::preview
