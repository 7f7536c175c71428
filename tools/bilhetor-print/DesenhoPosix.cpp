#include "Desenho.h"

#include "device/Device.h"
#include "preview/Preview.h"

namespace bilhetor {

TDesenharPreview DesenhoDoPrograma() {
  RegistrarDesenhoPreview([](const std::string& bytes, const std::string& arquivo) {
    preview::GravarPngEscPos(bytes, arquivo);
  });
  return [](const std::string& bytes, const std::string& arquivo, int papel) {
    using preview::TOpcoesPreview;
    return preview::GravarPngEscPos(bytes, arquivo,
                                    papel == 58 ? TOpcoesPreview::Papel58mm() : TOpcoesPreview::Papel80mm());
  };
}

}  // namespace bilhetor
