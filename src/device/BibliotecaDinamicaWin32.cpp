#include <windows.h>

#include <string>

#include "common/ErroSistema.h"
#include "device/BibliotecaDinamica.h"

namespace bilhetor {

std::unique_ptr<TBibliotecaDinamica> TBibliotecaDinamica::Carregar(const std::string& Nome, std::string* Erro) {
  // The loader takes back slashes only in a path.
  std::string nome = Nome;
  for (char& c : nome)
    if (c == '/') c = '\\';
  // A library that cannot be loaded is reported to the caller, never in a
  // message box of the system's.
  DWORD modoAnterior = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &modoAnterior);
  HMODULE modulo = LoadLibraryA(nome.c_str());
  const DWORD codigo = GetLastError();
  SetThreadErrorMode(modoAnterior, nullptr);
  if (modulo == nullptr) {
    if (Erro) *Erro = Nome + ": " + DescricaoErroSistema(codigo);
    return nullptr;
  }
  return std::make_unique<TBibliotecaDinamica>(Chave{}, static_cast<void*>(modulo));
}

TBibliotecaDinamica::~TBibliotecaDinamica() {
  if (!manter_) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* TBibliotecaDinamica::Simbolo(const std::string& Nome) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), Nome.c_str()));
}

std::string PastaDoExecutavel() {
  std::string caminho(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, caminho.data(), static_cast<DWORD>(caminho.size()));
    if (n == 0) return {};
    if (n < caminho.size()) {
      caminho.resize(n);
      break;
    }
    caminho.resize(caminho.size() * 2);
  }
  const auto barra = caminho.find_last_of("\\/");
  if (barra == std::string::npos) return {};
  return caminho.substr(0, barra + 1);
}

std::string NomeArquivoBiblioteca(const std::string& Nome) { return Nome + ".dll"; }

}  // namespace bilhetor
