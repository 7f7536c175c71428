// The program's modules (the window, the preview), loaded from beside the
// program or from ../lib/bilhetor.
#include "app/Plataforma.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "device/BibliotecaDinamica.h"

namespace bilhetor {

void* CarregarModulo(const std::string& executavel, const char* nome, const char* entrada, std::string& falha) {
  const std::filesystem::path pasta = std::filesystem::path(executavel).parent_path();
  falha.clear();
  for (const std::filesystem::path& modulo : {pasta / nome, pasta / "../lib/bilhetor" / nome}) {
    std::error_code ec;
    if (!std::filesystem::exists(modulo, ec)) continue;
    // The module carries its own copy of the libraries it was linked with,
    // and none of its names reach the program's.
    auto biblioteca = TBibliotecaDinamica::Carregar(modulo.string(), &falha);
    if (!biblioteca) return nullptr;
    void* simbolo = biblioteca->Funcao<void*>(entrada);
    if (!simbolo) {
      falha = modulo.string() + ": " + entrada + " n\xE3o encontrada";
      return nullptr;
    }
    // A loaded module stays for the life of the process.
    static std::vector<std::unique_ptr<TBibliotecaDinamica>> modulos;
    biblioteca->Manter();
    modulos.push_back(std::move(biblioteca));
    return simbolo;
  }
  falha = std::string(nome) + " n\xE3o encontrado em " + pasta.string();
  return nullptr;
}

TExecutarJanela CarregarJanela(const std::string& executavel, std::string& falha) {
  return reinterpret_cast<TExecutarJanela>(CarregarModulo(executavel, kModuloJanela, kEntradaJanela, falha));
}

}  // namespace bilhetor
