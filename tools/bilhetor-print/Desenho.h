#pragma once
// The pictures bilhetor-print can draw: where the receipt preview is built
// (Linux, with Qt), --preview, --desenhar and PREVIEW: ports draw with it;
// elsewhere none (an empty function: --preview and --desenhar are refused).
#include "app/PrintTool.h"

namespace bilhetor {

// Registers the drawing of PREVIEW: ports and returns the one of --preview.
TDesenharPreview DesenhoDoPrograma();

}  // namespace bilhetor
