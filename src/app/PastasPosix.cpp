// The program's places on Linux.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/Plataforma.h"

namespace bilhetor {

std::string PastaFixaPadrao() { return "/etc/bilhetor"; }
std::string ArquivoSomPadrao() { return "/usr/share/bilhetor/Som.wav"; }

bool ExecutavelInstalado(const std::string& executavel) { return executavel.rfind("/usr/", 0) == 0; }

std::string ExecutavelAtual() {
  std::error_code ec;
  const auto caminho = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : caminho.string();
}

std::string PastaEstado() {
  const auto definida = [](const char* nome) -> std::string {
    const char* valor = std::getenv(nome);
    return valor && *valor ? valor : "";
  };
  // The service manager may name several folders, separated by colons.
  if (const std::string estado = definida("STATE_DIRECTORY"); !estado.empty()) return estado.substr(0, estado.find(':'));
  if (const std::string xdg = definida("XDG_STATE_HOME"); !xdg.empty()) return xdg + "/bilhetor";
  const std::string home = definida("HOME");
  return home.empty() ? "" : home + "/.local/state/bilhetor";
}

}  // namespace bilhetor
