// What the printer does to the paper and around it besides printing: cuts
// (GS V, ESC i, ESC m) drawn as lines across the paper, the drawer pulses
// (ESC p, DLE DC4) and the beep (ESC ( A) as marks in the left margin, and
// the sensor and panel settings of ESC c, which leave no ink.
#include <algorithm>

#include "common/Strings.h"
#include "preview/EscPosInterpretadorInterno.h"

namespace bilhetor::preview::escpos {

// A mark in the left margin at the paper's current line; marks that follow
// each other stack downwards.
void TInterpretador::Marca(TTipoAnotacao tipo, const std::string& rotulo, const std::string& descricao) {
  const int y = std::max(papel_.Y(), fimMarcas_);
  if (!papel_.Cabe(y + kAlturaMarca)) return;
  TAnotacao a;
  a.tipo = tipo;
  a.area = TRetangulo{2, y, std::max(8, folha_.margem - 4), kAlturaMarca - 2};
  a.texto = rotulo;
  folha_.anotacoes.push_back(std::move(a));
  TObjeto o;
  o.tipo = tipo == TTipoAnotacao::Gaveta ? TTipoObjeto::Gaveta : TTipoObjeto::Bip;
  o.area = TRetangulo{2, y, std::max(8, folha_.margem - 4), kAlturaMarca - 2};
  o.detalhe = descricao;
  folha_.objetos.push_back(std::move(o));
  fimMarcas_ = y + kAlturaMarca;
}

void TInterpretador::Corte(bool total, int avanco) {
  papel_.TerminarLinha();
  // Below the marks in the margin, which the line would cross.
  papel_.Avancar(std::max(avanco, fimMarcas_ - papel_.Y()));
  const std::string texto = total ? "corte total" : "corte parcial";
  if (!papel_.Cabe(papel_.Y() + kAlturaCorte)) return;
  TAnotacao a;
  a.tipo = total ? TTipoAnotacao::CorteTotal : TTipoAnotacao::CorteParcial;
  a.area = TRetangulo{0, papel_.Y(), folha_.largura, kAlturaCorte};
  a.texto = texto;
  TObjeto o;
  o.tipo = TTipoObjeto::Corte;
  o.area = a.area;
  o.detalhe = texto;
  folha_.objetos.push_back(std::move(o));
  folha_.anotacoes.push_back(std::move(a));
  papel_.Avancar(kAlturaCorte);
}

// ESC i and ESC m.
void TInterpretador::CorteParcial(std::string_view) { Corte(false, 0); }

// GS V m, and GS V m n for the forms that feed n before cutting.
void TInterpretador::CorteGsV(std::string_view p) {
  const uint8_t m = U8(p, 0);
  if (m == 0 || m == 1 || m == '0' || m == '1') return Corte(m == 0 || m == '0', 0);
  if (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) {
    if (!PrecisaMais(1, "GS V")) return;
    const int n = Byte(0);
    ++p_;
    return Corte(m == 65 || m == 97 || m == 103, n);
  }
  Erro(Format("GS V: corte %d desconhecido", m), Comando());
}

// ESC p m t1 t2: a pulse on the drawer's pin.
void TInterpretador::Gaveta(std::string_view p) {
  const uint8_t pino = U8(p, 0);
  const int m = Digito(pino, 1);
  const int t1 = U8(p, 1) * 2, t2 = U8(p, 2) * 2;
  if (m < 0) return Erro(Format("ESC p: pino %d desconhecido", pino), Comando());
  Marca(TTipoAnotacao::Gaveta, m == 0 ? "G1" : "G2",
        Format("gaveta %d (pino %d): pulso de %d ms, pausa de %d ms", m + 1, m == 0 ? 2 : 5, t1, t2));
}

// DLE DC4 fn m t: fn 1 is the drawer pulse sent in real time.
void TInterpretador::GavetaTempoReal() {
  if (!Precisa(5, "DLE DC4")) return;
  const int fn = Byte(2), m = Byte(3), t = Byte(4);
  p_ += 5;
  if (fn == 1 && (m == 0 || m == 1))
    return Marca(TTipoAnotacao::Gaveta, m == 0 ? "G1" : "G2",
                 Format("gaveta %d (pino %d, DLE DC4): pulso de %d ms", m + 1, m == 0 ? 2 : 5, t * 100));
  Desconhecido("DLE DC4", Comando());
}

// ESC ( c nL nH and n bytes: of its functions only A, the beep, is known.
void TInterpretador::EscParenteses(std::string_view p) {
  const uint8_t c = U8(p, 0);
  const std::size_t n = static_cast<std::size_t>(LE2(p, 1));
  const std::string nome = Format("ESC ( %c", c >= 0x20 && c < 0x7F ? c : '?');
  if (!PrecisaMais(n, nome)) return;
  p_ += n;
  if (c == 'A') return Marca(TTipoAnotacao::Bip, "BIP", "bip (" + Hex(Comando()) + ")");
  Desconhecido(nome, Comando());
}

// ESC c 3/4/5 n: paper sensors and panel buttons; no ink. Any other ESC c is
// unknown, and only its two bytes are taken.
void TInterpretador::SensoresEPainel(std::string_view p) {
  const uint8_t n = U8(p, 0);
  if (n >= '3' && n <= '5') {
    if (!Precisa(1, NomeComando())) return;
    ++p_;
    return;
  }
  p_ = inicio_ + 2;
  Desconhecido(NomeComando(), Comando());
}

}  // namespace bilhetor::preview::escpos
