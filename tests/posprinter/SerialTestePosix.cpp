// The serial side of the engine tests on Linux.
#include <filesystem>

#include "SerialTeste.h"

namespace bilhetor {

const char* SerialSimuladaIndisponivel() { return nullptr; }

std::string LigarAoPty(const testing::SocatPty& pty, TDevice& dev, const testing::TempDir& dir) {
  std::filesystem::create_symlink(pty.PortName(), dir / "ttyS0");
  dev.SetPastaDispositivos(dir.Path().string());
  dev.SetPorta("COM1");
  return "COM1";
}

}  // namespace bilhetor
