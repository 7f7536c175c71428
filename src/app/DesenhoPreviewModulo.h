#pragma once
// The drawing of PREVIEW: ports for the print server. The receipt preview
// draws with Qt, which the headless server must not map while it waits (its
// memory target); so the preview is a module, bilhetor-preview.so, that the
// server loads from its own folder (or ../lib/bilhetor) at the first picture
// a PREVIEW: port asks for. A server without such a port never loads it.
#include <cstddef>
#include <string>

#include "device/Device.h"

namespace bilhetor {

inline constexpr const char* kModuloPreview = "bilhetor-preview.so";
inline constexpr const char* kEntradaPreview = "bilhetor_desenhar_preview";

// The module's entry point: draws `tamanho` bytes into the PNG file `arquivo`
// as an 80 mm Epson printer prints them. Returns 0, or 1 with the reason
// (Windows-1252, cut to fit) in `erro`. Never throws.
using TDesenharPreviewModulo = int (*)(const char* dados, std::size_t tamanho, const char* arquivo, char* erro,
                                       std::size_t tamanhoErro);

// A drawing for RegistrarDesenhoPreview that loads the module beside
// `executavel` at its first call. A missing module, or a picture the module
// could not make, raises Exception with the reason.
TDesenhoPreview DesenhoPreviewModulo(const std::string& executavel);

}  // namespace bilhetor
