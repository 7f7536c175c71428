#include "Desenho.h"

namespace bilhetor {

// The Windows build has no Qt, hence no receipt preview.
TDesenharPreview DesenhoDoPrograma() { return TDesenharPreview(); }

}  // namespace bilhetor
