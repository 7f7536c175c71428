#include "device/BibliotecaDinamica.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace bilhetor {

std::unique_ptr<TBibliotecaDinamica> TBibliotecaDinamica::Carregar(const std::string& Nome, std::string* Erro) {
  // Every function is resolved now: a library that cannot work fails here and
  // not at its first call. RTLD_LOCAL: none of its names reach the program's.
  void* handle = dlopen(Nome.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (Erro) {
      const char* motivo = dlerror();
      *Erro = motivo ? motivo : Nome;
    }
    return nullptr;
  }
  return std::make_unique<TBibliotecaDinamica>(Chave{}, handle);
}

TBibliotecaDinamica::~TBibliotecaDinamica() {
  if (!manter_) dlclose(handle_);
}

void* TBibliotecaDinamica::Simbolo(const std::string& Nome) const { return dlsym(handle_, Nome.c_str()); }

std::string PastaDoExecutavel() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  std::string pasta = exe.parent_path().string();
  if (pasta.empty() || pasta.back() != '/') pasta += '/';
  return pasta;
}

std::string NomeArquivoBiblioteca(const std::string& Nome) { return "lib" + Nome + ".so"; }

}  // namespace bilhetor
