#include "app/Plataforma.h"

#include <filesystem>
#include <system_error>

#include "common/Exception.h"

namespace bilhetor {

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
