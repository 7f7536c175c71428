// The reading loop of the interpreter: text bytes, the control bytes of one
// byte, and the ESC, GS and FS commands from their tables. What each command
// does is in the files EscPosInterpretadorInterno.h lists.
#include "preview/EscPosInterpretador.h"

#include <algorithm>

#include "common/Strings.h"
#include "preview/EscPosInterpretadorInterno.h"

namespace bilhetor::preview {

namespace escpos {

TInterpretador::TInterpretador(std::string_view dados, const TOpcoesPreview& opcoes)
    : d_(dados),
      opcoes_(Normalizar(opcoes)),
      papel_(folha_, estado_, opcoes_.margem, opcoes_.larguraImpressao, kFolgaPapel, opcoes_.alturaMaxima) {
  folha_.largura = opcoes_.larguraImpressao + 2 * opcoes_.margem;
  folha_.margem = opcoes_.margem;
  folha_.larguraImpressao = opcoes_.larguraImpressao;
}

TOpcoesPreview TInterpretador::Normalizar(TOpcoesPreview o) {
  o.larguraImpressao = std::clamp(o.larguraImpressao, 8 * kLarguraFonteA, 4096);
  o.margem = std::clamp(o.margem, 0, 512);
  o.alturaMaxima = std::clamp(o.alturaMaxima, 256, 65536);
  return o;
}

TFolha TInterpretador::Executar() {
  while (p_ < d_.size()) {
    const auto b = static_cast<uint8_t>(d_[p_]);
    if (b >= 0x20) {
      FecharDesconhecidos();
      Texto(b);
      ++p_;
      continue;
    }
    if (b != ESC && b != GS && b != FS && b != DLE && b != LF && b != CR && b != HT && b != FF && b != SI &&
        b != DC2 && b != CAN) {
      // Runs of unknown control bytes make one band.
      if (desconhecidos_.empty()) inicioDesconhecidos_ = p_;
      desconhecidos_.push_back(static_cast<char>(b));
      ++p_;
      continue;
    }
    FecharDesconhecidos();
    inicio_ = p_;
    switch (b) {
      case LF: Atual().ImprimirLinha(); ++p_; break;
      case CR: ++p_; break;
      case HT: Atual().Tabulacao(); ++p_; break;
      case SI: estado_.estilo.fonteB = true; ++p_; break;
      case DC2: estado_.estilo.fonteB = false; ++p_; break;
      case FF: ++p_; FimDePagina(); break;
      case CAN: ++p_; CancelarLinhaPagina(); break;
      case ESC: Esc(); break;
      case GS: Gs(); break;
      case FS: Fs(); break;
      case DLE: Dle(); break;
    }
  }
  FecharDesconhecidos();
  Terminar();
  return std::move(folha_);
}

bool TInterpretador::Precisa(std::size_t n, const std::string& nome) {
  if (Resta() >= n) return true;
  Erro(nome + ": comando cortado no fim dos dados", d_.substr(p_));
  p_ = d_.size();
  return false;
}

bool TInterpretador::PrecisaMais(std::size_t n, const std::string& nome) {
  if (Resta() >= n) return true;
  Erro(nome + ": comando cortado no fim dos dados", d_.substr(inicio_));
  p_ = d_.size();
  return false;
}

std::string TInterpretador::NomeComando() const {
  const auto prefixo = static_cast<uint8_t>(d_[inicio_]);
  const auto c = static_cast<uint8_t>(d_[inicio_ + 1]);
  return Format("%s %c", prefixo == ESC ? "ESC" : prefixo == GS ? "GS" : "FS", c >= 0x20 && c < 0x7F ? c : '?');
}

// A command missing from the table is unknown, and only its two bytes are
// taken: the printer's own commands of other lengths cannot be told apart.
void TInterpretador::Despachar(const char* prefixo, std::span<const TComando> tabela) {
  if (!Precisa(2, prefixo)) return;
  const uint8_t c = Byte(1);
  const auto comando = std::find_if(tabela.begin(), tabela.end(), [c](const TComando& t) { return t.byte == c; });
  if (comando == tabela.end()) {
    p_ += 2;
    return Desconhecido(NomeComando(), Comando());
  }
  const std::size_t n = comando->parametros;
  if (!Precisa(2 + n, NomeComando())) return;
  const std::string_view parametros = d_.substr(p_ + 2, n);
  p_ += 2 + n;
  (this->*comando->tratar)(parametros);
}

void TInterpretador::Esc() {
  static constexpr TComando kComandos[] = {
      // text, fonts, spacing, position
      {'@', 0, &TInterpretador::Inicializar},
      {'2', 0, &TInterpretador::EspacamentoPadrao},
      {'3', 1, &TInterpretador::Espacamento},
      {' ', 1, &TInterpretador::EspacoDireita},
      {'!', 1, &TInterpretador::ModoImpressao},
      {'E', 1, &TInterpretador::Negrito},
      {'G', 1, &TInterpretador::Negrito},
      {'-', 1, &TInterpretador::Sublinhado},
      {'M', 1, &TInterpretador::Fonte},
      {'4', 0, &TInterpretador::ItalicoLigado},
      {'5', 0, &TInterpretador::ItalicoDesligado},
      {'a', 1, &TInterpretador::Alinhamento},
      {'t', 1, &TInterpretador::EscolherTabela},
      {'J', 1, &TInterpretador::AvancarPontos},
      {'d', 1, &TInterpretador::AvancarLinhas},
      {'$', 2, &TInterpretador::PosicaoAbsoluta},
      {'\\', 2, &TInterpretador::PosicaoRelativa},
      {'{', 1, &TInterpretador::CabecaParaBaixo},
      {'V', 1, &TInterpretador::Girado90},
      {'R', 1, &TInterpretador::ConjuntoInternacional},
      // page mode
      {'L', 0, &TInterpretador::EntrarModoPagina},
      {'S', 0, &TInterpretador::SairModoPagina},
      {'W', 8, &TInterpretador::AreaPagina},
      {'T', 1, &TInterpretador::Direcao},
      {FF, 0, &TInterpretador::ImprimirPaginaSemSair},
      // images
      {'*', 3, &TInterpretador::ImagemColunas},
      // cuts, drawer, beep, sensors
      {'i', 0, &TInterpretador::CorteParcial},
      {'m', 0, &TInterpretador::CorteParcial},
      {'p', 3, &TInterpretador::Gaveta},
      {'(', 3, &TInterpretador::EscParenteses},
      {'c', 1, &TInterpretador::SensoresEPainel},
      // peripheral selection, unidirectional printing, print colour (one
      // colour on a thermal printer)
      {'=', 1, &TInterpretador::Ignorar},
      {'U', 1, &TInterpretador::Ignorar},
      {'r', 1, &TInterpretador::Ignorar},
  };
  Despachar("ESC", kComandos);
}

void TInterpretador::Gs() {
  static constexpr TComando kComandos[] = {
      // text and the line's area
      {'!', 1, &TInterpretador::TamanhoCaractere},
      {'B', 1, &TInterpretador::Invertido},
      {'L', 2, &TInterpretador::MargemEsquerda},
      {'W', 2, &TInterpretador::LarguraArea},
      // page mode
      {'$', 2, &TInterpretador::PosicaoVerticalPagina},
      // barcodes; GS ( holds the QR codes and the graphics
      {'k', 1, &TInterpretador::CodigoBarras},
      {'w', 1, &TInterpretador::LarguraModulo},
      {'h', 1, &TInterpretador::AlturaBarras},
      {'H', 1, &TInterpretador::PosicaoHri},
      {'f', 1, &TInterpretador::FonteHri},
      {'(', 3, &TInterpretador::GsParenteses},
      // images
      {'8', 1, &TInterpretador::Gs8},
      {'v', 1, &TInterpretador::RasterGsV},
      // cuts
      {'V', 1, &TInterpretador::CorteGsV},
      // motion units; printer identification, status and automatic status
      // back (replies); smoothing
      {'P', 2, &TInterpretador::Ignorar},
      {'I', 1, &TInterpretador::Ignorar},
      {'r', 1, &TInterpretador::Ignorar},
      {'a', 1, &TInterpretador::Ignorar},
      {'b', 1, &TInterpretador::Ignorar},
  };
  Despachar("GS", kComandos);
}

void TInterpretador::Fs() {
  static constexpr TComando kComandos[] = {
      {'p', 2, &TInterpretador::LogoLegado},
      {'q', 1, &TInterpretador::DefinirLogosLegado},
  };
  Despachar("FS", kComandos);
}

// GS ( c nL nH and n bytes: the function c with its body.
void TInterpretador::GsParenteses(std::string_view p) {
  const uint8_t c = U8(p, 0);
  const std::size_t n = static_cast<std::size_t>(LE2(p, 1));
  const std::string nome = Format("GS ( %c", c >= 0x20 && c < 0x7F ? c : '?');
  if (!PrecisaMais(n, nome)) return;
  const std::string_view corpo = d_.substr(p_, n);
  p_ += n;
  if (c == 'k') return Simbolo2D(corpo);
  if (c == 'L') return Graficos(nome, corpo);
  Desconhecido(nome, Comando());
}

// DLE takes three bytes even when unknown.
void TInterpretador::Dle() {
  if (!Precisa(3, "DLE")) return;
  const uint8_t c = Byte(1);
  if (c == 0x04 || c == 0x05) {  // status request, real-time request: replies
    p_ += 3;
    return;
  }
  if (c == 0x14) return GavetaTempoReal();
  p_ += 2;
  Desconhecido("DLE", Comando());
}

void TInterpretador::Terminar() {
  if (pagina_) {
    Nota("modo p\xE1gina sem FF ou ESC FF no fim: a p\xE1gina n\xE3o foi impressa");
    SairModoPagina();
  }
  if (!papel_.LinhaVazia()) {
    Nota("\"" + Legivel(papel_.TextoLinha()) +
         "\" sem LF no fim: fica no buffer da impressora e sai com o pr\xF3ximo trabalho");
    papel_.DescartarLinha();
  }
  const int fundo = std::max(papel_.Fundo(), fimMarcas_);
  if (fundo > opcoes_.alturaMaxima) folha_.truncada = true;
  folha_.altura = std::min(fundo, opcoes_.alturaMaxima) + kFolgaPapel;
}

}  // namespace escpos

TFolha InterpretarEscPos(std::string_view bytes, const TOpcoesPreview& opcoes) {
  return escpos::TInterpretador(bytes, opcoes).Executar();
}

}  // namespace bilhetor::preview
