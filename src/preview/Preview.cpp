#include "preview/Preview.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common/Strings.h"

namespace bilhetor::preview {

TPreview RenderizarEscPos(std::string_view bytes, const TOpcoesPreview& opcoes) {
  TPreview r;
  r.folha = InterpretarEscPos(bytes, opcoes);
  r.imagem = DesenharFolha(r.folha);
  return r;
}

std::string PngEscPos(std::string_view bytes, const TOpcoesPreview& opcoes) {
  return DesenharPng(InterpretarEscPos(bytes, opcoes));
}

std::vector<std::string> GravarPngEscPos(std::string_view bytes, const std::string& arquivo,
                                         const TOpcoesPreview& opcoes) {
  TFolha folha = InterpretarEscPos(bytes, opcoes);
  const std::string png = DesenharPng(folha);
  const std::string temporario = arquivo + ".tmp";
  auto falha = [&](const char* motivo) {
    std::remove(temporario.c_str());
    return EPreview(Format("N\xE3o foi poss\xEDvel gravar a imagem %s: %s", arquivo.c_str(), motivo));
  };
  {
    std::ofstream saida(temporario, std::ios::binary | std::ios::trunc);
    if (!saida) throw falha(std::strerror(errno));
    saida.write(png.data(), static_cast<std::streamsize>(png.size()));
    saida.close();
    if (!saida) throw falha(std::strerror(errno));
  }
  if (std::rename(temporario.c_str(), arquivo.c_str()) != 0) throw falha(std::strerror(errno));
  return std::move(folha.avisos);
}

}  // namespace bilhetor::preview
