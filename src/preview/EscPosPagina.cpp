// Page mode: ESC L opens a page laid out on its own paper, ESC W gives its
// area, ESC T its direction, GS $ the line's height on it; FF and ESC FF
// print it on the paper, turned as the direction says.
#include <algorithm>

#include "common/Strings.h"
#include "preview/EscPosInterpretadorInterno.h"

namespace bilhetor::preview::escpos {

void TInterpretador::AreaPagina(std::string_view p) {
  const int x = LE2(p, 0), y = LE2(p, 2);
  const int dx = LE2(p, 4), dy = LE2(p, 6);
  if (dx == 0 || dy == 0 || x >= opcoes_.larguraImpressao)
    return Erro(Format("ESC W: \xE1rea de p\xE1gina inv\xE1lida (x %d, y %d, %d x %d pontos)", x, y, dx, dy),
                Comando());
  estado_.paginaX = x;
  estado_.paginaY = std::min(y, opcoes_.alturaMaxima);
  estado_.paginaLargura = std::min(dx, opcoes_.larguraImpressao - x);
  estado_.paginaAltura = std::min(dy, opcoes_.alturaMaxima);
  AjustarPagina();
}

void TInterpretador::Direcao(std::string_view p) {
  const uint8_t n = U8(p, 0);
  const int v = Digito(n, 3);
  if (v < 0) return Erro(NomeComando() + Format(": dire\xE7\xE3o %d desconhecida", n), Comando());
  estado_.direcao = v;
  AjustarPagina();
}

// GS $: the vertical position on the page; nothing in standard mode.
void TInterpretador::PosicaoVerticalPagina(std::string_view p) {
  if (!pagina_) return;
  pagina_->TerminarLinha();
  pagina_->SetY(LE2(p, 0));
}

// CAN: drops the page's line not yet printed; nothing in standard mode.
void TInterpretador::CancelarLinhaPagina() {
  if (pagina_) pagina_->DescartarLinha();
}

// The page's own width: the area's width, or its height for the vertical
// directions, whose lines run along the paper.
int TInterpretador::LarguraConteudoPagina() const {
  const bool vertical = estado_.direcao == 1 || estado_.direcao == 3;
  if (estado_.paginaLargura == 0) return opcoes_.larguraImpressao;
  return vertical ? estado_.paginaAltura : estado_.paginaLargura;
}

void TInterpretador::AjustarPagina() {
  if (pagina_) pagina_->SetLargura(LarguraConteudoPagina());
}

void TInterpretador::EntrarModoPagina(std::string_view) {
  if (pagina_) return;
  folhaPagina_ = std::make_unique<TFolha>();
  pagina_ =
      std::make_unique<TComposicao>(*folhaPagina_, estado_, 0, LarguraConteudoPagina(), 0, opcoes_.alturaMaxima);
}

void TInterpretador::SairModoPagina(std::string_view) {
  pagina_.reset();
  folhaPagina_.reset();
}

void TInterpretador::FimDePagina() {
  if (!pagina_) return;  // FF in standard mode: nothing to print
  ImprimirPagina(true);
}

void TInterpretador::ImprimirPaginaSemSair(std::string_view) { ImprimirPagina(false); }

// Prints the page of page mode; with `sair` (FF) its content is dropped and
// the printer goes back to standard mode, otherwise (ESC FF) it stays.
void TInterpretador::ImprimirPagina(bool sair) {
  if (!pagina_) return;
  pagina_->TerminarLinha();
  TFolha& f = *folhaPagina_;
  const bool vertical = estado_.direcao == 1 || estado_.direcao == 3;
  const int larguraConteudo = pagina_->Largura();
  int alturaConteudo = pagina_->Fundo();
  if (estado_.paginaLargura != 0) alturaConteudo = vertical ? estado_.paginaLargura : estado_.paginaAltura;
  alturaConteudo = std::clamp(alturaConteudo, 1, opcoes_.alturaMaxima);
  f.largura = larguraConteudo;
  f.altura = alturaConteudo;
  papel_.TerminarLinha();
  TPaginaImpressa p;
  p.direcao = estado_.direcao;
  p.area.x = opcoes_.margem + estado_.paginaX;
  p.area.y = papel_.Y() + estado_.paginaY;
  p.area.largura = vertical ? alturaConteudo : larguraConteudo;
  p.area.altura = vertical ? larguraConteudo : alturaConteudo;
  if (papel_.Cabe(p.area.Base())) {
    p.conteudo = std::make_unique<TFolha>(CopiarFolha(f, alturaConteudo));
    for (const TObjeto& o : p.conteudo->objetos) {
      TObjeto c = o;
      c.area = NaPagina(o.area, p, larguraConteudo, alturaConteudo);
      folha_.objetos.push_back(std::move(c));
    }
    folha_.paginas.push_back(std::move(p));
    papel_.Avancar(estado_.paginaY + (vertical ? larguraConteudo : alturaConteudo));
  }
  if (sair) SairModoPagina();
}

// A rectangle of a page's content (w x h dots) on the paper, turned as the
// page is.
TRetangulo TInterpretador::NaPagina(const TRetangulo& r, const TPaginaImpressa& p, int w, int h) {
  const int ax = p.area.x, ay = p.area.y;
  switch (p.direcao) {
    case 1: return TRetangulo{ax + r.y, ay + w - r.Direita(), r.altura, r.largura};
    case 2: return TRetangulo{ax + w - r.Direita(), ay + h - r.Base(), r.largura, r.altura};
    case 3: return TRetangulo{ax + h - r.Base(), ay + r.x, r.altura, r.largura};
    default: return TRetangulo{ax + r.x, ay + r.y, r.largura, r.altura};
  }
}

// What a page shows: the items that start above its bottom. ESC FF prints
// the same page again and again, so only those are copied.
TFolha TInterpretador::CopiarFolha(const TFolha& f, int altura) {
  TFolha c;
  c.largura = f.largura;
  c.altura = f.altura;
  auto copiar = [altura](const auto& de, auto& para) {
    for (const auto& item : de)
      if (item.y < altura) para.push_back(item);
  };
  copiar(f.glifos, c.glifos);
  copiar(f.tinta, c.tinta);
  copiar(f.bitmaps, c.bitmaps);
  for (const TAnotacao& a : f.anotacoes)
    if (a.area.y < altura) c.anotacoes.push_back(a);
  for (const TObjeto& o : f.objetos)
    if (o.area.y < altura) c.objetos.push_back(o);
  return c;
}

}  // namespace bilhetor::preview::escpos
