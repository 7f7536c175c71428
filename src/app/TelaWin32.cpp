// The display on Windows. The window of the print server is not built for
// Windows yet, so the program runs without one: the headless server, with
// its messages on the console and in the log.
#include "app/Plataforma.h"

namespace bilhetor {

bool ServidorXResponde() { return false; }

TTela VerTela() { return TTela::Nenhuma; }

}  // namespace bilhetor
