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

// The design's own: the settings file beside the program, wherever it is.
bool ExecutavelInstalado(const std::string&) { return false; }

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
