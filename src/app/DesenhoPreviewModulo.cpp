#include "app/DesenhoPreviewModulo.h"

#include <dlfcn.h>

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>

#include "common/Exception.h"

namespace bilhetor {

namespace {

// The module, loaded once and kept until the process ends (the pictures it
// draws keep Qt's state in it).
class TModuloPreview {
 public:
  explicit TModuloPreview(std::string executavel) : executavel_(std::move(executavel)) {}

  TDesenharPreviewModulo Entrada() {
    std::lock_guard<std::mutex> trava(trava_);
    if (!entrada_) Carregar();
    return entrada_;
  }

 private:
  void Carregar() {
    const std::filesystem::path pasta = std::filesystem::path(executavel_).parent_path();
    for (const std::filesystem::path& modulo : {pasta / kModuloPreview, pasta / "../lib/bilhetor" / kModuloPreview}) {
      std::error_code ec;
      if (!std::filesystem::exists(modulo, ec)) continue;
      // RTLD_LOCAL: the module carries its own copy of the libraries it was
      // linked with, and none of its names reach the program's.
      void* handle = ::dlopen(modulo.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) {
        const char* erro = ::dlerror();
        throw Exception(erro ? erro : modulo.string());
      }
      void* entrada = ::dlsym(handle, kEntradaPreview);
      if (!entrada) {
        ::dlclose(handle);
        throw Exception(modulo.string() + ": " + kEntradaPreview + " n\xE3o encontrada");
      }
      entrada_ = reinterpret_cast<TDesenharPreviewModulo>(entrada);
      return;
    }
    throw Exception(std::string(kModuloPreview) + " n\xE3o encontrado em " + pasta.string());
  }

  std::string executavel_;
  std::mutex trava_;
  TDesenharPreviewModulo entrada_ = nullptr;
};

}  // namespace

TDesenhoPreview DesenhoPreviewModulo(const std::string& executavel) {
  auto modulo = std::make_shared<TModuloPreview>(executavel);
  return [modulo](const std::string& dados, const std::string& arquivo) {
    const TDesenharPreviewModulo desenhar = modulo->Entrada();
    std::array<char, 512> erro{};
    if (desenhar(dados.data(), dados.size(), arquivo.c_str(), erro.data(), erro.size()) != 0)
      throw Exception(std::string(erro.data()));
  };
}

}  // namespace bilhetor
