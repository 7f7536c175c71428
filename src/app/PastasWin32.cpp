// The program's places on Windows: the design's fixed folder and sound file,
// the module file name, and the user's local application data for the state.
#include <windows.h>

#include <cstdlib>

#include "app/Plataforma.h"

namespace bilhetor {

namespace {

std::string Ambiente(const char* nome) {
  const char* valor = std::getenv(nome);
  return valor && *valor ? valor : "";
}

}  // namespace

std::string PastaFixaPadrao() { return "C:\\bkp"; }
std::string ArquivoSomPadrao() { return "C:\\Vialto\\Musica\\Som.wav"; }

// A copy under Program Files cannot write its settings file beside itself
// (only administrators may write there): it keeps them in the fixed folder,
// C:\bkp, which the installer makes and every user of the machine may
// write. A copy anywhere else keeps them beside itself.
bool ExecutavelInstalado(const std::string& executavel) {
  for (const char* variavel : {"ProgramW6432", "ProgramFiles"}) {
    std::string pasta = Ambiente(variavel);
    if (pasta.empty()) continue;
    if (pasta.back() != '\\') pasta += '\\';
    if (executavel.size() > pasta.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, executavel.c_str(),
                                                           static_cast<int>(pasta.size()), pasta.c_str(),
                                                           static_cast<int>(pasta.size())) == CSTR_EQUAL)
      return true;
  }
  return false;
}

std::string ExecutavelAtual() {
  char caminho[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, caminho, sizeof caminho);
  return n == 0 || n >= sizeof caminho ? std::string() : std::string(caminho, n);
}

std::string PastaEstado() {
  if (const std::string estado = Ambiente("STATE_DIRECTORY"); !estado.empty()) return estado;
  const std::string local = Ambiente("LOCALAPPDATA");
  return local.empty() ? "" : local + "\\Bilhetor";
}

}  // namespace bilhetor
