#include "app/DesenhoPreviewModulo.h"

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>

#include "app/Plataforma.h"
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
    std::string falha;
    entrada_ = reinterpret_cast<TDesenharPreviewModulo>(
        CarregarModulo(executavel_, kModuloPreview, kEntradaPreview, falha));
    if (!entrada_) throw Exception(falha);
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
