// The serial side of the simulated printer on Windows: there is no
// pseudo-terminal pair to offer, so a test that asks for one learns it at
// once.
#include <stdexcept>

#include "support/EscPosPrinterSim.h"

namespace bilhetor::testing {

std::string EscPosPrinterSim::IniciarPty() {
  throw std::runtime_error("EscPosPrinterSim: no pseudo-terminal pair on Windows (socat pty)");
}

void EscPosPrinterSim::EncerrarPty() {}

}  // namespace bilhetor::testing
