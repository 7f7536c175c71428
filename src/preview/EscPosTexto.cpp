// Text: the characters through the code table, the fonts and their sizes,
// line spacing and feeds, the position in the line, the line's area, and the
// reset of ESC @.
#include <algorithm>

#include "common/Strings.h"
#include "preview/EscPosInterpretadorInterno.h"

namespace bilhetor::preview::escpos {

void TInterpretador::Texto(uint8_t b) {
  char32_t c;
  if (b < 0x7F)
    c = b;
  else if (b == 0x7F)
    c = U'\u2302';
  else
    c = estado_.tabela->alto[b - 0x80];
  Atual().Caractere(c, b);
}

// ESC @: the line not yet printed is lost, page mode ends, every setting
// goes back to its start.
void TInterpretador::Inicializar(std::string_view) {
  const std::size_t perdidos = Atual().DescartarLinha();
  if (perdidos > 0)
    Nota(Format("ESC @ apagou %zu caractere(s) ainda sem LF, que n\xE3o foram impressos", perdidos));
  if (pagina_) {
    pagina_.reset();
    folhaPagina_.reset();
  }
  estado_ = TEstado();
}

// --- spacing and feeds ----------------------------------------------------------

void TInterpretador::EspacamentoPadrao(std::string_view) { estado_.espacamento = kEspacamentoPadrao; }

void TInterpretador::Espacamento(std::string_view p) { estado_.espacamento = U8(p, 0); }

void TInterpretador::EspacoDireita(std::string_view p) { estado_.espacoDireita = U8(p, 0); }

void TInterpretador::AvancarPontos(std::string_view p) { Atual().ImprimirEAvancar(U8(p, 0)); }

void TInterpretador::AvancarLinhas(std::string_view p) { Atual().ImprimirEAvancar(U8(p, 0) * estado_.espacamento); }

// --- fonts ----------------------------------------------------------------------

// ESC !: font B, emphasized, double height, double width, underline.
void TInterpretador::ModoImpressao(std::string_view p) {
  const uint8_t n = U8(p, 0);
  estado_.estilo.fonteB = n & 0x01;
  estado_.estilo.negrito = n & 0x08;
  estado_.estilo.escalaY = (n & 0x10) ? 2 : 1;
  estado_.estilo.escalaX = (n & 0x20) ? 2 : 1;
  estado_.estilo.sublinhado = (n & 0x80) ? 1 : 0;
}

// ESC E and ESC G (double strike, printed as emphasized).
void TInterpretador::Negrito(std::string_view p) { estado_.estilo.negrito = U8(p, 0) & 0x01; }

void TInterpretador::Sublinhado(std::string_view p) {
  const uint8_t n = U8(p, 0);
  const int v = Digito(n, 2);
  if (v < 0) return Erro(NomeComando() + Format(": espessura %d fora de 0 a 2", n), Comando());
  estado_.estilo.sublinhado = static_cast<uint8_t>(v);
}

void TInterpretador::Fonte(std::string_view p) {
  const uint8_t n = U8(p, 0);
  const int v = Digito(n, 2);
  if (v < 0) return Erro(NomeComando() + Format(": fonte %d desconhecida", n), Comando());
  estado_.estilo.fonteB = v >= 1;
}

void TInterpretador::ItalicoLigado(std::string_view) { estado_.estilo.italico = true; }

void TInterpretador::ItalicoDesligado(std::string_view) { estado_.estilo.italico = false; }

// GS !: width and height 1 to 8 times.
void TInterpretador::TamanhoCaractere(std::string_view p) {
  const uint8_t n = U8(p, 0);
  if (n & 0x88) return Erro(NomeComando() + Format(": tamanho %02X fora da faixa", n), Comando());
  estado_.estilo.escalaX = static_cast<uint8_t>(((n >> 4) & 7) + 1);
  estado_.estilo.escalaY = static_cast<uint8_t>((n & 7) + 1);
}

void TInterpretador::Invertido(std::string_view p) { estado_.estilo.invertido = U8(p, 0) & 1; }

void TInterpretador::EscolherTabela(std::string_view p) {
  const uint8_t n = U8(p, 0);
  const TTabelaCaracteres* t = TabelaCaracteres(n);
  if (!t) return Erro(NomeComando() + Format(": tabela de caracteres %d desconhecida", n), Comando());
  estado_.tabela = t;
}

void TInterpretador::CabecaParaBaixo(std::string_view p) {
  if (U8(p, 0) & 1) Nota(NomeComando() + ": impress\xE3o de cabe\xE7" "a para baixo (n\xE3o desenhada)");
}

void TInterpretador::Girado90(std::string_view p) {
  if (Digito(U8(p, 0), 2) > 0) Nota(NomeComando() + ": texto girado 90 graus (n\xE3o desenhado)");
}

void TInterpretador::ConjuntoInternacional(std::string_view p) {
  const uint8_t n = U8(p, 0);
  if (n != 0) Nota(NomeComando() + Format(": conjunto internacional %d (desenhado como EUA)", n));
}

// --- position and the line's area -----------------------------------------------

void TInterpretador::Alinhamento(std::string_view p) {
  const uint8_t n = U8(p, 0);
  const int v = Digito(n, 2);
  if (v < 0) return Erro(NomeComando() + Format(": alinhamento %d desconhecido", n), Comando());
  if (!Atual().LinhaVazia())
    return Nota(NomeComando() + ": alinhamento ignorado no meio da linha (vale s\xF3 no in\xED" "cio dela)");
  estado_.alinhamento = v;
}

void TInterpretador::PosicaoAbsoluta(std::string_view p) { Atual().Posicao(LE2(p, 0)); }

void TInterpretador::PosicaoRelativa(std::string_view p) {
  TComposicao& comp = Atual();
  comp.Posicao(comp.X() + static_cast<int16_t>(LE2(p, 0)));
}

void TInterpretador::MargemEsquerda(std::string_view p) {
  if (!Atual().LinhaVazia())
    return Nota(NomeComando() + ": ignorado no meio da linha (vale s\xF3 no in\xED" "cio dela)");
  estado_.margemEsquerda = LE2(p, 0);
}

void TInterpretador::LarguraArea(std::string_view p) {
  if (!Atual().LinhaVazia())
    return Nota(NomeComando() + ": ignorado no meio da linha (vale s\xF3 no in\xED" "cio dela)");
  estado_.larguraArea = std::max(1, LE2(p, 0));
}

}  // namespace bilhetor::preview::escpos
