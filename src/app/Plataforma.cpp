#include "app/Plataforma.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/Exception.h"

namespace bilhetor {

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

std::string PastaDe(const std::string& arquivo) {
  return std::filesystem::path(arquivo).parent_path().string();
}

bool ExecutarTratando(TMensagens& mensagens, const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const EAbort&) {
    return false;
  } catch (const std::exception& e) {
    mensagens.MostrarErro(e.what());
    return false;
  }
}

// --- dialogs ------------------------------------------------------------------------------

TModalResult TSemDialogos::MostrarModal(TfrConfiguraSerial&) {
  throw Exception("Sem janela: o di\xE1logo n\xE3o pode ser mostrado");
}

}  // namespace bilhetor
