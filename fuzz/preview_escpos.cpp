// Fuzzes the receipt preview: the interpreter on arbitrary printer bytes, then
// the drawing of what it laid out. Whatever the bytes, nothing crashes, the
// paper keeps to its limits and every item lies on it, and images carry
// exactly the data their size says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "preview/Desenho.h"
#include "preview/EscPosInterpretador.h"

using namespace bilhetor::preview;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Everything lies above `fundo`: the paper's bottom, or for the content of a
// page (which the drawing cuts to the page's area) the longest paper.
void Verificar(const TFolha& f, int alturaMaxima, int fundo) {
  Check(f.altura >= 1 && f.altura <= alturaMaxima + 16);
  for (const TGlifo& g : f.glifos) Check(g.y >= 0 && g.y + g.estilo.AlturaCelula() <= fundo);
  for (const TRetangulo& r : f.tinta) Check(r.largura > 0 && r.altura > 0 && r.y >= 0 && r.Base() <= fundo);
  for (const TBitmap& b : f.bitmaps) {
    Check(b.largura > 0 && b.altura > 0 && b.escalaX >= 1 && b.escalaY >= 1);
    Check(b.raster.size() == static_cast<std::size_t>((b.largura + 7) / 8) * static_cast<std::size_t>(b.altura));
    Check(b.y >= 0 && b.y + b.AlturaImpressa() <= fundo);
  }
  for (const TPaginaImpressa& p : f.paginas) {
    Check(p.conteudo != nullptr && p.area.Base() <= f.altura);
    Verificar(*p.conteudo, alturaMaxima, alturaMaxima);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // Short papers keep each run quick; odd sizes take the narrow paper.
  TOpcoesPreview opcoes = size % 2 ? TOpcoesPreview::Papel58mm() : TOpcoesPreview::Papel80mm();
  opcoes.alturaMaxima = 1000;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const TFolha folha = InterpretarEscPos(bytes, opcoes);
  Check(folha.largura == opcoes.larguraImpressao + 2 * opcoes.margem);
  Verificar(folha, opcoes.alturaMaxima, folha.altura);
  const QImage imagem = DesenharFolha(folha);
  Check(imagem.width() == folha.largura && imagem.height() == folha.altura);
  return 0;
}
