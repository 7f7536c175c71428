// Lines and blocks laid out on a paper: where characters, pictures inside a
// line, barcodes and images go, and how far each line feeds.
#include <algorithm>

#include "preview/EscPosInterpretadorInterno.h"

namespace bilhetor::preview::escpos {

void TComposicao::SetY(int y) { y_ = std::clamp(y, 0, Limite()); }

void TComposicao::SetLargura(int largura) { largura_ = std::max(1, largura); }

int TComposicao::Fundo() const { return std::max(y_, fundo_); }

int TComposicao::InicioRegiao() const { return std::min(estado_.margemEsquerda, largura_ - 1); }

int TComposicao::LarguraRegiao() const {
  return std::max(1, std::min(estado_.larguraArea, largura_ - InicioRegiao()));
}

void TComposicao::Caractere(char32_t codigo, uint8_t byte) {
  const TEstiloTexto& e = estado_.estilo;
  const int largura = e.LarguraCelula() + estado_.espacoDireita * e.escalaX;
  if (linhaUsada_ && x_ + largura > LarguraRegiao()) ImprimirLinha();
  TGlifo g;
  g.x = x_;
  g.y = e.AlturaCelula();  // the cell's height until the line is placed
  g.largura = largura;
  g.codigo = codigo;
  g.estilo = e;
  glifos_.push_back(g);
  textoLinha_.push_back(static_cast<char>(byte));
  Usar(largura, e.AlturaCelula());
}

void TComposicao::Tabulacao() {
  const int proxima = (x_ / kTabulacao + 1) * kTabulacao;
  if (proxima >= LarguraRegiao()) {
    ImprimirLinha();
    return;
  }
  textoLinha_.push_back(' ');
  Usar(proxima - x_, estado_.estilo.AlturaCelula());
}

void TComposicao::Posicao(int x) {
  if (x < 0 || x >= LarguraRegiao()) return;
  x_ = x;
  linhaUsada_ = true;
}

void TComposicao::ImagemNaLinha(TBitmap b) {
  const int resta = LarguraRegiao() - x_;
  if (resta <= 0) return;
  if (b.LarguraImpressa() > resta) CortarLargura(b, resta / b.escalaX);
  if (b.largura <= 0) return;
  b.x = x_;
  b.y = b.AlturaImpressa();
  const int largura = b.LarguraImpressa();
  const int altura = b.AlturaImpressa();
  bitmapsLinha_.push_back(std::move(b));
  Usar(largura, altura);
}

void TComposicao::ImprimirEAvancar(int pontos) {
  const int altura = ColocarLinha();
  Descer(std::max(pontos, altura));
}

void TComposicao::TerminarLinha() {
  if (linhaUsada_) Descer(ColocarLinha());
}

std::size_t TComposicao::DescartarLinha() {
  const std::size_t n = textoLinha_.size();
  LimparLinha();
  return n;
}

std::optional<int> TComposicao::Bloco(int largura, int altura) {
  TerminarLinha();
  if (!Cabe(y_ + altura)) return std::nullopt;
  return xBase_ + InicioRegiao() + Deslocamento(largura);
}

void TComposicao::Avancar(int pontos) {
  Descer(std::max(0, pontos));
  fundo_ = std::max(fundo_, y_);
}

bool TComposicao::Cabe(int base) {
  if (base <= alturaMaxima_) return true;
  folha_.truncada = true;
  return false;
}

void TComposicao::CortarLargura(TBitmap& b, int largura) {
  if (largura >= b.largura) return;
  if (largura <= 0) {
    b.largura = 0;
    b.raster.clear();
    return;
  }
  const std::size_t de = static_cast<std::size_t>((b.largura + 7) / 8);
  const std::size_t para = static_cast<std::size_t>((largura + 7) / 8);
  std::string r;
  r.reserve(para * static_cast<std::size_t>(b.altura));
  for (int linha = 0; linha < b.altura; ++linha) r.append(b.raster, static_cast<std::size_t>(linha) * de, para);
  b.raster = std::move(r);
  b.largura = largura;
}

void TComposicao::Descer(int pontos) { y_ = std::min(Limite(), y_ + std::min(pontos, Limite())); }

void TComposicao::Usar(int largura, int altura) {
  x_ += largura;
  alturaLinha_ = std::max(alturaLinha_, altura);
  linhaUsada_ = true;
}

int TComposicao::Deslocamento(int largura) const {
  const int livre = std::max(0, LarguraRegiao() - largura);
  switch (estado_.alinhamento) {
    case 1: return livre / 2;
    case 2: return livre;
    default: return 0;
  }
}

// Puts the line on the paper at y_, its characters standing on the line's
// bottom; returns the line's height (0 for an empty line).
int TComposicao::ColocarLinha() {
  if (!linhaUsada_) return 0;
  const int altura = alturaLinha_;
  if (Cabe(y_ + altura)) {
    const int x0 = xBase_ + InicioRegiao() + Deslocamento(x_);
    for (TGlifo g : glifos_) {
      const int alturaGlifo = g.y;
      g.x += x0;
      g.y = y_ + altura - alturaGlifo;
      folha_.glifos.push_back(g);
    }
    for (TBitmap& b : bitmapsLinha_) {
      const int alturaImagem = b.y;
      b.x += x0;
      b.y = y_ + altura - alturaImagem;
      folha_.bitmaps.push_back(std::move(b));
    }
    if (!textoLinha_.empty()) {
      TObjeto o;
      o.tipo = TTipoObjeto::Texto;
      o.area = TRetangulo{x0, y_, x_, altura};
      o.dados = textoLinha_;
      folha_.objetos.push_back(std::move(o));
    }
    fundo_ = std::max(fundo_, y_ + altura);
  }
  LimparLinha();
  return altura;
}

void TComposicao::LimparLinha() {
  glifos_.clear();
  bitmapsLinha_.clear();
  textoLinha_.clear();
  x_ = 0;
  alturaLinha_ = 0;
  linhaUsada_ = false;
}

}  // namespace bilhetor::preview::escpos
