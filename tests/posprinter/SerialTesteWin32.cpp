// The serial side of the engine tests under Wine.
#include "SerialTeste.h"

namespace bilhetor {

const char* SerialSimuladaIndisponivel() {
  return "the simulated printer has no serial side on Windows (it cannot start socat under Wine)";
}

std::string LigarAoPty(const testing::SocatPty& pty, TDevice& dev, const testing::TempDir&) {
  dev.SetPorta(pty.PortLink());
  return pty.PortLink();
}

}  // namespace bilhetor
