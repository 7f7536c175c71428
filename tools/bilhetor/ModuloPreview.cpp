// The receipt preview module of bilhetor: its one entry point (see
// app/DesenhoPreviewModulo.h).
#include <cstring>
#include <exception>
#include <string>
#include <type_traits>

#include "app/DesenhoPreviewModulo.h"
#include "preview/Preview.h"

extern "C" __attribute__((visibility("default"))) int bilhetor_desenhar_preview(const char* dados, std::size_t tamanho,
                                                                                 const char* arquivo, char* erro,
                                                                                 std::size_t tamanhoErro) {
  try {
    bilhetor::preview::GravarPngEscPos(std::string(dados, tamanho), arquivo);
    return 0;
  } catch (const std::exception& e) {
    if (tamanhoErro > 0) {
      std::strncpy(erro, e.what(), tamanhoErro - 1);
      erro[tamanhoErro - 1] = '\0';
    }
    return 1;
  }
}

static_assert(std::is_same_v<decltype(&bilhetor_desenhar_preview), bilhetor::TDesenharPreviewModulo>);
