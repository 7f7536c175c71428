// The serial port search: the serial ports of this machine, found from their
// device files and the system's description of them, none of them opened.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/Strings.h"
#include "device/Device.h"

namespace bilhetor {

namespace {

// Highest COM number the serial port search looks at.
constexpr int kUltimaPortaSerial = 256;

// The first line of one of the system's small device description files,
// trimmed; empty when it cannot be read.
std::string LerDescricao(const std::string& caminho) {
  std::ifstream f(caminho);
  std::string linha;
  std::getline(f, linha);
  return Trim(linha);
}

// "maj:min" as the system writes a device number.
std::string TextoNumeroDispositivo(uint64_t numero) {
  return std::to_string(major(numero)) + ":" + std::to_string(minor(numero));
}

}  // namespace

// The search decides from the device file and the system's description of
// it, without opening the port: opening a Linux terminal raises its DTR and
// RTS lines and its last close drops them again, which a device on the line
// sees (and a program holding the port would have its settings and queues
// changed under it). A port is listed when its file exists, as a port that
// cannot be opened is.
bool TDevice::PortaSerialPresente(const std::string& Caminho, const std::vector<uint64_t>& Consoles) const {
  struct stat st {};
  if (::stat(Caminho.c_str(), &st) != 0) return errno != ENOENT && errno != ENOTDIR;
  if (!S_ISCHR(st.st_mode)) return true;
  const auto numero = static_cast<uint64_t>(st.st_rdev);
  if (std::find(Consoles.begin(), Consoles.end(), numero) != Consoles.end()) return false;
  // A UART the kernel reserves a device file for but found no hardware
  // behind has the type 0 ("unknown").
  const std::string tipo = LerDescricao(pastaSysfs_ + "/dev/char/" + TextoNumeroDispositivo(numero) + "/type");
  return tipo != "0";
}

void TDevice::AcharPortasSeriais(std::vector<std::string>& Lista, int UltimaPorta) {
  EscreveLog("AcharPortasSeriais(" + std::to_string(UltimaPorta) + ")");
  Lista.clear();
  const int ultima = std::min(UltimaPorta, kUltimaPortaSerial);
  if (ultima < 1) return;

  // The consoles the kernel writes to, by device number.
  std::vector<uint64_t> consoles;
  {
    std::istringstream ativos(LerDescricao(pastaSysfs_ + "/class/tty/console/active"));
    std::string nome;
    while (ativos >> nome) {
      const std::string numero = LerDescricao(pastaSysfs_ + "/class/tty/" + nome + "/dev");
      unsigned maior = 0, menor = 0;
      char resto = 0;
      if (std::sscanf(numero.c_str(), "%u:%u%c", &maior, &menor, &resto) == 2)
        consoles.push_back(makedev(maior, menor));
    }
  }

  for (int n = 1; n <= ultima; ++n) {
    const std::string nome = "COM" + std::to_string(n);
    if (PortaSerialPresente(NomeSistemaSerial(nome), consoles)) Lista.push_back(nome);
  }

  // USB serial adapters: ttyUSB<n> (USB to serial converters) and ttyACM<n>
  // (printers that present themselves as a modem), by kind and number.
  std::vector<std::tuple<int, int, std::string>> adaptadores;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(pastaDispositivos_, ec), fim; !ec && it != fim; it.increment(ec)) {
    const std::string nome = it->path().filename().string();
    int tipo = 0;
    for (const char* prefixo : {"ttyUSB", "ttyACM"}) {
      const size_t tamanho = std::strlen(prefixo);
      const int numero = nome.starts_with(prefixo) ? PlainNumberAfter(nome, tamanho) : -1;
      if (numero >= 0) adaptadores.emplace_back(tipo, numero, nome);
      ++tipo;
    }
  }
  std::sort(adaptadores.begin(), adaptadores.end());
  for (const auto& [tipo, numero, nome] : adaptadores) {
    const std::string caminho = pastaDispositivos_ + "/" + nome;
    if (PortaSerialPresente(caminho, consoles)) Lista.push_back(caminho);
  }
}

}  // namespace bilhetor
