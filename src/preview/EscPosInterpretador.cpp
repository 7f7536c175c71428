#include "preview/EscPosInterpretador.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Strings.h"
#include "preview/EscPosInterpretadorInterno.h"
#include "preview/Simbolos.h"

namespace bilhetor::preview {

namespace escpos {

std::string Hex(std::string_view bytes) {
  static const char* digitos = "0123456789ABCDEF";
  std::string r;
  const std::size_t n = std::min(bytes.size(), kBytesMostrados);
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    if (!r.empty()) r.push_back(' ');
    r.push_back(digitos[b >> 4]);
    r.push_back(digitos[b & 15]);
  }
  if (bytes.size() > n) r += Format(" ... (%zu bytes)", bytes.size());
  return r;
}

std::string Legivel(std::string_view dados, std::size_t maximo) {
  std::string r;
  for (std::size_t i = 0; i < dados.size() && i < maximo; ++i) {
    const auto b = static_cast<uint8_t>(dados[i]);
    if (b >= 0x20 && b < 0x7F)
      r.push_back(static_cast<char>(b));
    else
      r += Format("<%02X>", b);
  }
  if (dados.size() > maximo) r += "...";
  return r;
}

}  // namespace escpos

namespace {

using namespace escpos;

class TInterpretador {
 public:
  TInterpretador(std::string_view dados, const TOpcoesPreview& opcoes)
      : d_(dados),
        opcoes_(Normalizar(opcoes)),
        papel_(folha_, estado_, opcoes_.margem, opcoes_.larguraImpressao, kFolgaPapel, opcoes_.alturaMaxima) {
    folha_.largura = opcoes_.larguraImpressao + 2 * opcoes_.margem;
    folha_.margem = opcoes_.margem;
    folha_.larguraImpressao = opcoes_.larguraImpressao;
  }

  TFolha Executar() {
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
        case CAN:
          ++p_;
          if (pagina_) pagina_->DescartarLinha();
          break;
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

 private:
  static TOpcoesPreview Normalizar(TOpcoesPreview o) {
    o.larguraImpressao = std::clamp(o.larguraImpressao, 8 * kLarguraFonteA, 4096);
    o.margem = std::clamp(o.margem, 0, 512);
    o.alturaMaxima = std::clamp(o.alturaMaxima, 256, 65536);
    return o;
  }

  TComposicao& Atual() { return pagina_ ? *pagina_ : papel_; }

  // --- reading ----------------------------------------------------------------

  uint8_t Byte(std::size_t deslocamento) const { return static_cast<uint8_t>(d_[p_ + deslocamento]); }
  std::size_t Resta() const { return d_.size() - p_; }

  // True when n bytes of the command are there; otherwise the command is cut
  // short: an error band with what there is, and the reading ends.
  bool Precisa(std::size_t n, const std::string& nome) {
    if (Resta() >= n) return true;
    Erro(nome + ": comando cortado no fim dos dados", d_.substr(p_));
    p_ = d_.size();
    return false;
  }

  std::string_view Comando() const { return d_.substr(inicio_, p_ - inicio_); }

  // --- annotations ------------------------------------------------------------

  void Faixa(TTipoAnotacao tipo, const std::string& texto) {
    folha_.avisos.push_back(texto);
    if (!papel_.Cabe(papel_.Y() + kAlturaFaixa)) return;
    TAnotacao a;
    a.tipo = tipo;
    a.area = TRetangulo{0, papel_.Y(), folha_.largura, kAlturaFaixa};
    a.texto = texto;
    folha_.anotacoes.push_back(std::move(a));
    papel_.Avancar(kAlturaFaixa);
  }

  void Desconhecido(const std::string& nome, std::string_view bytes) {
    Faixa(TTipoAnotacao::Desconhecido, nome + " desconhecido: " + Hex(bytes));
  }
  void Erro(const std::string& texto, std::string_view bytes) {
    Faixa(TTipoAnotacao::Erro, bytes.empty() ? texto : texto + " (" + Hex(bytes) + ")");
  }
  void Nota(const std::string& texto) { Faixa(TTipoAnotacao::Nota, texto); }
  // A command the preview knows but does not draw.
  void NaoDesenhado(const std::string& texto, std::string_view bytes) {
    Faixa(TTipoAnotacao::Desconhecido, texto + " (n\xE3o desenhado): " + Hex(bytes));
  }

  void FecharDesconhecidos() {
    if (desconhecidos_.empty()) return;
    Faixa(TTipoAnotacao::Desconhecido,
          Format("bytes de controle desconhecidos na posi\xE7\xE3o %zu: ", inicioDesconhecidos_) + Hex(desconhecidos_));
    desconhecidos_.clear();
  }

  // A mark in the left margin at the paper's current line; marks that follow
  // each other stack downwards.
  void Marca(TTipoAnotacao tipo, const std::string& rotulo, const std::string& descricao) {
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

  void Corte(bool total, int avanco) {
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

  // --- text -------------------------------------------------------------------

  void Texto(uint8_t b) {
    char32_t c;
    if (b < 0x7F)
      c = b;
    else if (b == 0x7F)
      c = U'\u2302';
    else
      c = estado_.tabela->alto[b - 0x80];
    Atual().Caractere(c, b);
  }

  // --- ESC --------------------------------------------------------------------

  void Esc() {
    if (!Precisa(2, "ESC")) return;
    const uint8_t c = Byte(1);
    const std::string nome = Format("ESC %c", c >= 0x20 && c < 0x7F ? c : '?');
    switch (c) {
      case '@': Inicializar(); p_ += 2; return;
      case '2': estado_.espacamento = kEspacamentoPadrao; p_ += 2; return;
      case '4': estado_.estilo.italico = true; p_ += 2; return;
      case '5': estado_.estilo.italico = false; p_ += 2; return;
      case 'L': p_ += 2; EntrarModoPagina(); return;
      case 'S': p_ += 2; SairModoPagina(); return;
      case FF: p_ += 2; ImprimirPagina(false); return;
      case 'i':
      case 'm': p_ += 2; Corte(false, 0); return;
      case '*': ImagemColunas(); return;
      case '(': EscParenteses(); return;
      case 'p': Gaveta(); return;
      case '$':
      case '\\':
      case 'W':
        break;
      default: {
        // The commands of one parameter byte; any other is unknown, and only
        // its two bytes are taken.
        static const std::string_view kUmParametro = "!EG-Mat3 JdT{VR=Urc";
        if (kUmParametro.find(static_cast<char>(c)) == std::string_view::npos) {
          p_ += 2;
          return Desconhecido(nome, Comando());
        }
        if (!Precisa(3, nome)) return;
      }
    }
    if (c == '$' || c == '\\') {
      if (!Precisa(4, nome)) return;
      const int n = Byte(2) | (Byte(3) << 8);
      p_ += 4;
      TComposicao& comp = Atual();
      if (c == '$')
        comp.Posicao(n);
      else
        comp.Posicao(comp.X() + static_cast<int16_t>(n));
      return;
    }
    if (c == 'W') {
      AreaPagina();
      return;
    }
    const uint8_t n = Byte(2);
    p_ += 3;
    switch (c) {
      case '!':
        estado_.estilo.fonteB = n & 0x01;
        estado_.estilo.negrito = n & 0x08;
        estado_.estilo.escalaY = (n & 0x10) ? 2 : 1;
        estado_.estilo.escalaX = (n & 0x20) ? 2 : 1;
        estado_.estilo.sublinhado = (n & 0x80) ? 1 : 0;
        return;
      case 'E':
      case 'G': estado_.estilo.negrito = n & 0x01; return;
      case '-': {
        const int v = Digito(n, 2);
        if (v < 0) return Erro(nome + Format(": espessura %d fora de 0 a 2", n), Comando());
        estado_.estilo.sublinhado = static_cast<uint8_t>(v);
        return;
      }
      case 'M': {
        const int v = Digito(n, 2);
        if (v < 0) return Erro(nome + Format(": fonte %d desconhecida", n), Comando());
        estado_.estilo.fonteB = v >= 1;
        return;
      }
      case 'a': {
        const int v = Digito(n, 2);
        if (v < 0) return Erro(nome + Format(": alinhamento %d desconhecido", n), Comando());
        if (!Atual().LinhaVazia())
          return Nota(nome + ": alinhamento ignorado no meio da linha (vale s\xF3 no in\xED" "cio dela)");
        estado_.alinhamento = v;
        return;
      }
      case 't': {
        const TTabelaCaracteres* t = TabelaCaracteres(n);
        if (!t) return Erro(nome + Format(": tabela de caracteres %d desconhecida", n), Comando());
        estado_.tabela = t;
        return;
      }
      case '3': estado_.espacamento = n; return;
      case ' ': estado_.espacoDireita = n; return;
      case 'J': Atual().ImprimirEAvancar(n); return;
      case 'd': Atual().ImprimirEAvancar(n * estado_.espacamento); return;
      case 'T': {
        const int v = Digito(n, 3);
        if (v < 0) return Erro(nome + Format(": dire\xE7\xE3o %d desconhecida", n), Comando());
        estado_.direcao = v;
        AjustarPagina();
        return;
      }
      case '{':
        if (n & 1) Nota(nome + ": impress\xE3o de cabe\xE7" "a para baixo (n\xE3o desenhada)");
        return;
      case 'V':
        if (Digito(n, 2) > 0) Nota(nome + ": texto girado 90 graus (n\xE3o desenhado)");
        return;
      case 'R':
        if (n != 0) Nota(nome + Format(": conjunto internacional %d (desenhado como EUA)", n));
        return;
      case '=':  // peripheral selection
      case 'U':  // unidirectional printing
      case 'r':  // print colour (one colour on a thermal printer)
        return;
      case 'c': {
        // ESC c 3/4/5 n: paper sensors and panel buttons; no ink.
        if (n >= '3' && n <= '5') {
          if (!Precisa(1, nome)) return;
          ++p_;
          return;
        }
        break;
      }
      default: break;
    }
    p_ = inicio_ + 2;
    Desconhecido(nome, Comando());
  }

  void Inicializar() {
    const std::size_t perdidos = Atual().DescartarLinha();
    if (perdidos > 0)
      Nota(Format("ESC @ apagou %zu caractere(s) ainda sem LF, que n\xE3o foram impressos", perdidos));
    if (pagina_) {
      pagina_.reset();
      folhaPagina_.reset();
    }
    estado_ = TEstado();
  }

  void Gaveta() {
    if (!Precisa(5, "ESC p")) return;
    const uint8_t pino = Byte(2);
    const int m = Digito(pino, 1);
    const int t1 = Byte(3) * 2, t2 = Byte(4) * 2;
    p_ += 5;
    if (m < 0) return Erro(Format("ESC p: pino %d desconhecido", pino), Comando());
    Marca(TTipoAnotacao::Gaveta, m == 0 ? "G1" : "G2",
          Format("gaveta %d (pino %d): pulso de %d ms, pausa de %d ms", m + 1, m == 0 ? 2 : 5, t1, t2));
  }

  void EscParenteses() {
    if (!Precisa(5, "ESC (")) return;
    const uint8_t c = Byte(2);
    const std::size_t n = Byte(3) | (Byte(4) << 8);
    const std::string nome = Format("ESC ( %c", c >= 0x20 && c < 0x7F ? c : '?');
    if (!Precisa(5 + n, nome)) return;
    p_ += 5 + n;
    if (c == 'A') {
      Marca(TTipoAnotacao::Bip, "BIP", "bip (" + Hex(Comando()) + ")");
      return;
    }
    Desconhecido(nome, Comando());
  }

  // ESC * m nL nH: a band of dot columns inside the line.
  void ImagemColunas() {
    if (!Precisa(5, "ESC *")) return;
    const uint8_t m = Byte(2);
    const std::size_t n = Byte(3) | (Byte(4) << 8);
    if (m != 0 && m != 1 && m != 32 && m != 33) {
      p_ += 5;
      return Erro(Format("ESC *: modo %d desconhecido", m), Comando());
    }
    const std::size_t porColuna = m >= 32 ? 3 : 1;
    const std::size_t k = n * porColuna;
    if (Resta() < 5 + k) {
      Erro(Format("ESC *: a imagem declara %zu colunas (%zu bytes) e s\xF3 h\xE1 %zu", n, k, Resta() - 5),
           d_.substr(p_, 5));
      p_ = d_.size();
      return;
    }
    const std::string_view colunas = d_.substr(p_ + 5, k);
    p_ += 5 + k;
    if (n == 0) return;
    TBitmap b;
    b.largura = static_cast<int>(n);
    b.altura = static_cast<int>(porColuna * 8);
    b.escalaX = (m == 0 || m == 32) ? 2 : 1;
    b.escalaY = m < 32 ? 3 : 1;
    const std::size_t porLinha = (n + 7) / 8;
    b.raster.assign(porLinha * static_cast<std::size_t>(b.altura), '\0');
    for (std::size_t col = 0; col < n; ++col) {
      for (std::size_t linha = 0; linha < porColuna * 8; ++linha) {
        const auto byte = static_cast<uint8_t>(colunas[col * porColuna + linha / 8]);
        if (byte & (0x80 >> (linha % 8))) b.raster[linha * porLinha + col / 8] |= static_cast<char>(0x80 >> (col % 8));
      }
    }
    Atual().ImagemNaLinha(std::move(b));
  }

  // --- page mode --------------------------------------------------------------

  void AreaPagina() {
    if (!Precisa(10, "ESC W")) return;
    const int x = Byte(2) | (Byte(3) << 8), y = Byte(4) | (Byte(5) << 8);
    const int dx = Byte(6) | (Byte(7) << 8), dy = Byte(8) | (Byte(9) << 8);
    p_ += 10;
    if (dx == 0 || dy == 0 || x >= opcoes_.larguraImpressao)
      return Erro(Format("ESC W: \xE1rea de p\xE1gina inv\xE1lida (x %d, y %d, %d x %d pontos)", x, y, dx, dy),
                  Comando());
    estado_.paginaX = x;
    estado_.paginaY = std::min(y, opcoes_.alturaMaxima);
    estado_.paginaLargura = std::min(dx, opcoes_.larguraImpressao - x);
    estado_.paginaAltura = std::min(dy, opcoes_.alturaMaxima);
    AjustarPagina();
  }

  // The page's own width: the area's width, or its height for the vertical
  // directions, whose lines run along the paper.
  int LarguraConteudoPagina() const {
    const bool vertical = estado_.direcao == 1 || estado_.direcao == 3;
    if (estado_.paginaLargura == 0) return opcoes_.larguraImpressao;
    return vertical ? estado_.paginaAltura : estado_.paginaLargura;
  }

  void AjustarPagina() {
    if (pagina_) pagina_->SetLargura(LarguraConteudoPagina());
  }

  void EntrarModoPagina() {
    if (pagina_) return;
    folhaPagina_ = std::make_unique<TFolha>();
    pagina_ = std::make_unique<TComposicao>(*folhaPagina_, estado_, 0, LarguraConteudoPagina(), 0,
                                            opcoes_.alturaMaxima);
  }

  void SairModoPagina() {
    pagina_.reset();
    folhaPagina_.reset();
  }

  void FimDePagina() {
    if (!pagina_) return;  // FF in standard mode: nothing to print
    ImprimirPagina(true);
  }

  // Prints the page of page mode; with `sair` (FF) its content is dropped and
  // the printer goes back to standard mode, otherwise (ESC FF) it stays.
  void ImprimirPagina(bool sair) {
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
  static TRetangulo NaPagina(const TRetangulo& r, const TPaginaImpressa& p, int w, int h) {
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
  static TFolha CopiarFolha(const TFolha& f, int altura) {
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

  // --- GS ---------------------------------------------------------------------

  void Gs() {
    if (!Precisa(2, "GS")) return;
    const uint8_t c = Byte(1);
    const std::string nome = Format("GS %c", c >= 0x20 && c < 0x7F ? c : '?');
    switch (c) {
      case 'k': CodigoBarras(); return;
      case '(': GsParenteses(); return;
      case '8': Gs8(); return;
      case 'v': RasterGsV(); return;
      case 'V': CorteGsV(); return;
      case 'L':
      case 'W':
      case '$':
      case 'P': {
        if (!Precisa(4, nome)) return;
        const int n = Byte(2) | (Byte(3) << 8);
        p_ += 4;
        if (c == 'L' || c == 'W') {
          if (!Atual().LinhaVazia())
            return Nota(nome + ": ignorado no meio da linha (vale s\xF3 no in\xED" "cio dela)");
          if (c == 'L')
            estado_.margemEsquerda = n;
          else
            estado_.larguraArea = std::max(1, n);
        } else if (c == '$' && pagina_) {
          pagina_->TerminarLinha();
          pagina_->SetY(n);
        }
        return;
      }
      default: break;
    }
    static const std::string_view kUmParametro = "!BwhHfIrab";
    if (kUmParametro.find(static_cast<char>(c)) == std::string_view::npos) {
      p_ += 2;
      return Desconhecido(nome, Comando());
    }
    if (!Precisa(3, nome)) return;
    const uint8_t n = Byte(2);
    p_ += 3;
    switch (c) {
      case '!': {
        if (n & 0x88) return Erro(nome + Format(": tamanho %02X fora da faixa", n), Comando());
        estado_.estilo.escalaX = static_cast<uint8_t>(((n >> 4) & 7) + 1);
        estado_.estilo.escalaY = static_cast<uint8_t>((n & 7) + 1);
        return;
      }
      case 'B': estado_.estilo.invertido = n & 1; return;
      case 'w':
        if (n < 1 || n > 6) return Erro(nome + Format(": largura de m\xF3" "dulo %d fora de 1 a 6", n), Comando());
        estado_.larguraModulo = n;
        return;
      case 'h':
        if (n < 1) return Erro(nome + ": altura 0", Comando());
        estado_.alturaBarras = n;
        return;
      case 'H': {
        const int v = Digito(n, 3);
        if (v < 0) return Erro(nome + Format(": posi\xE7\xE3o do texto %d desconhecida", n), Comando());
        estado_.posicaoHri = v;
        return;
      }
      case 'f': {
        const int v = Digito(n, 1);
        if (v < 0) return Erro(nome + Format(": fonte %d desconhecida", n), Comando());
        estado_.hriFonteB = v == 1;
        return;
      }
      case 'I':  // printer identification: a reply, no ink
      case 'r':  // status: a reply
      case 'a':  // automatic status back
      case 'b':  // smoothing
        return;
      default: break;
    }
    p_ = inicio_ + 2;
    Desconhecido(nome, Comando());
  }

  void CorteGsV() {
    if (!Precisa(3, "GS V")) return;
    const uint8_t m = Byte(2);
    if (m == 0 || m == 1 || m == '0' || m == '1') {
      p_ += 3;
      Corte(m == 0 || m == '0', 0);
      return;
    }
    if (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) {
      if (!Precisa(4, "GS V")) return;
      const int n = Byte(3);
      p_ += 4;
      Corte(m == 65 || m == 97 || m == 103, n);
      return;
    }
    p_ += 3;
    Erro(Format("GS V: corte %d desconhecido", m), Comando());
  }

  // --- barcodes ---------------------------------------------------------------

  void CodigoBarras() {
    if (!Precisa(3, "GS k")) return;
    const uint8_t m = Byte(2);
    std::string_view dados;
    if (m <= 6) {
      const std::size_t fim = d_.find('\0', p_ + 3);
      if (fim == std::string_view::npos) {
        Erro("GS k: c\xF3" "digo de barras sem o NUL final", d_.substr(p_));
        p_ = d_.size();
        return;
      }
      dados = d_.substr(p_ + 3, fim - p_ - 3);
      p_ = fim + 1;
    } else if (m >= 65) {
      if (!Precisa(4, "GS k")) return;
      const std::size_t n = Byte(3);
      if (!Precisa(4 + n, "GS k")) return;
      dados = d_.substr(p_ + 4, n);
      p_ += 4 + n;
    } else {
      p_ += 3;
      return Erro(Format("GS k: simbologia %d desconhecida", m), Comando());
    }
    static const TSimbologia porFuncaoA[] = {TSimbologia::UpcA,   TSimbologia::UpcE, TSimbologia::Ean13,
                                             TSimbologia::Ean8,   TSimbologia::Code39, TSimbologia::Itf,
                                             TSimbologia::Codabar};
    TSimbologia s;
    if (m <= 6)
      s = porFuncaoA[m];
    else if (m >= 65 && m <= 71)
      s = porFuncaoA[m - 65];
    else if (m == 72)
      s = TSimbologia::Code93;
    else if (m == 73)
      s = TSimbologia::Code128;
    else if (m <= 79)
      return NaoDesenhado(Format("GS k: simbologia GS1 %d, dados \"", m) + Legivel(dados) + "\"", Comando());
    else
      return Erro(Format("GS k: simbologia %d que a impressora n\xE3o conhece, dados \"", m) + Legivel(dados) + "\"",
                  {});
    ImprimirBarras(s, dados);
  }

  // The data as the symbol holds it: CODE 39 without the start and stop "*"
  // the printer takes, CODE 128 with its code set selections resolved.
  bool DadosSimbolo(TSimbologia s, std::string_view dados, std::string& saida, std::string& erro) {
    if (s == TSimbologia::Code39) {
      std::string_view v = dados;
      if (!v.empty() && v.front() == '*') v.remove_prefix(1);
      if (!v.empty() && v.back() == '*') v.remove_suffix(1);
      saida = std::string(v);
      return true;
    }
    if (s == TSimbologia::Itf && dados.size() % 2 != 0) {
      erro = "ITF com n\xFAmero \xEDmpar de d\xEDgitos";
      return false;
    }
    if (s != TSimbologia::Code128) {
      saida = std::string(dados);
      return true;
    }
    if (dados.size() < 2 || dados[0] != '{' || (dados[1] != 'A' && dados[1] != 'B' && dados[1] != 'C')) {
      erro = "CODE 128 sem a escolha do conjunto ({A, {B ou {C) no in\xED" "cio";
      return false;
    }
    char conjunto = dados[1];
    for (std::size_t i = 2; i < dados.size(); ++i) {
      const auto c = static_cast<uint8_t>(dados[i]);
      if (c == '{') {
        if (i + 1 >= dados.size()) {
          erro = "CODE 128 termina com \"{\"";
          return false;
        }
        const char x = dados[++i];
        if (x == 'A' || x == 'B' || x == 'C') {
          conjunto = x;
        } else if (x == '{' || x == 'S') {
          // "{{" is the character "{"; "{S" shifts the next character, which
          // the symbol holds as it is.
          if (x == '{') saida.push_back('{');
        } else {
          erro = Format("CODE 128: fun\xE7\xE3o {%c n\xE3o desenhada", x);
          return false;
        }
        continue;
      }
      if (conjunto == 'C') {
        if (c > 99) {
          erro = Format("CODE 128 conjunto C: byte %02X acima de 99", c);
          return false;
        }
        saida += Format("%02d", c);
      } else {
        saida.push_back(static_cast<char>(c));
      }
    }
    if (saida.empty()) {
      erro = "CODE 128 sem dados";
      return false;
    }
    return true;
  }

  // Readable text as the printer prints it under (or over) the bars.
  void TextoHri(const std::string& texto, int x0, int larguraBarras, int y) {
    TEstiloTexto e;
    e.fonteB = estado_.hriFonteB;
    const int largura = e.LarguraCelula() * static_cast<int>(texto.size());
    int x = x0 + (larguraBarras - largura) / 2;
    for (char ch : texto) {
      TGlifo g;
      g.x = x;
      g.y = y;
      g.largura = e.LarguraCelula();
      g.codigo = static_cast<uint8_t>(ch) < 0x20 ? U' ' : static_cast<char32_t>(static_cast<uint8_t>(ch));
      g.estilo = e;
      Atual().Glifo(g);
      x += g.largura;
    }
  }

  void ImprimirBarras(TSimbologia s, std::string_view bruto) {
    std::string dados, erro;
    if (!DadosSimbolo(s, bruto, dados, erro)) return Erro("GS k: " + erro + ", dados \"" + Legivel(bruto) + "\"", {});
    const TSimboloCodificado simbolo = CodificarSimbolo(s, dados);
    if (!simbolo.ok)
      return Erro(std::string("GS k: ") + NomeSimbologia(s) + " \"" + Legivel(dados) + "\" recusado: " + simbolo.erro,
                  {});
    const int w = estado_.larguraModulo;
    const int largura = simbolo.largura * w;
    TComposicao& comp = Atual();
    if (largura > comp.LarguraRegiao())
      return Erro(Format("GS k: %s de %d pontos n\xE3o cabe na \xE1rea de %d pontos (n\xE3o impresso)",
                         NomeSimbologia(s), largura, comp.LarguraRegiao()),
                  {});
    // The readable text: EAN and UPC with the check digit the library adds,
    // the others as the data.
    const bool eanUpc = s == TSimbologia::UpcA || s == TSimbologia::UpcE || s == TSimbologia::Ean13 ||
                        s == TSimbologia::Ean8;
    const std::string hri = eanUpc ? simbolo.texto : dados;
    TEstiloTexto e;
    e.fonteB = estado_.hriFonteB;
    const int alturaHri = e.AlturaCelula() + kFolgaHri;
    const bool acima = estado_.posicaoHri & 1, abaixo = estado_.posicaoHri & 2;
    const int h = estado_.alturaBarras;
    const int alturaTotal = h + (acima ? alturaHri : 0) + (abaixo ? alturaHri : 0);
    const std::optional<int> x0 = comp.Bloco(largura, alturaTotal);
    if (!x0) return;
    const int yBarras = comp.Y() + (acima ? alturaHri : 0);
    if (acima) TextoHri(hri, *x0, largura, comp.Y());
    for (const TRetangulo& m : simbolo.modulos)
      comp.Tinta(TRetangulo{*x0 + m.x * w, yBarras, m.largura * w, h});
    if (abaixo) TextoHri(hri, *x0, largura, yBarras + h + kFolgaHri);
    TObjeto o;
    o.tipo = TTipoObjeto::Barras;
    o.area = TRetangulo{*x0, yBarras, largura, h};
    o.dados = dados;
    o.detalhe = NomeSimbologia(s);
    comp.Objeto(std::move(o));
    comp.AvancarBloco(alturaTotal);
  }

  // --- GS ( and GS 8 ----------------------------------------------------------

  void GsParenteses() {
    if (!Precisa(5, "GS (")) return;
    const uint8_t c = Byte(2);
    const std::size_t n = Byte(3) | (Byte(4) << 8);
    const std::string nome = Format("GS ( %c", c >= 0x20 && c < 0x7F ? c : '?');
    if (!Precisa(5 + n, nome)) return;
    const std::string_view corpo = d_.substr(p_ + 5, n);
    p_ += 5 + n;
    if (c == 'k') return Simbolo2D(corpo);
    if (c == 'L') return Graficos(nome, corpo);
    Desconhecido(nome, Comando());
  }

  void Gs8() {
    if (!Precisa(3, "GS 8")) return;
    if (Byte(2) != 'L') {
      p_ += 2;
      return Desconhecido("GS 8", Comando());
    }
    if (!Precisa(7, "GS 8 L")) return;
    const std::size_t n = static_cast<std::size_t>(Byte(3)) | (static_cast<std::size_t>(Byte(4)) << 8) |
                          (static_cast<std::size_t>(Byte(5)) << 16) | (static_cast<std::size_t>(Byte(6)) << 24);
    if (Resta() - 7 < n) {
      Erro(Format("GS 8 L: o comando declara %zu bytes e s\xF3 h\xE1 %zu", n, Resta() - 7), d_.substr(p_, 7));
      p_ = d_.size();
      return;
    }
    const std::string_view corpo = d_.substr(p_ + 7, n);
    p_ += 7 + n;
    Graficos("GS 8 L", corpo);
  }

  void Simbolo2D(std::string_view corpo) {
    if (corpo.size() < 2) return Erro("GS ( k: sem fun\xE7\xE3o", Comando());
    const auto cn = static_cast<uint8_t>(corpo[0]);
    const auto fn = static_cast<uint8_t>(corpo[1]);
    if (cn != 49)
      return NaoDesenhado(Format("GS ( k: s\xEDmbolo 2D %d, fun\xE7\xE3o %d", cn, fn), Comando());
    auto parametro = [&](std::size_t i) -> int {
      return corpo.size() > i ? static_cast<uint8_t>(corpo[i]) : -1;
    };
    switch (fn) {
      case 65: {  // model
        const int n1 = parametro(2);
        if (n1 < 49 || n1 > 51) return Erro(Format("GS ( k: modelo de QR %d desconhecido", n1), Comando());
        estado_.qrModelo = n1 - 48;
        return;
      }
      case 67: {  // module size
        const int n = parametro(2);
        if (n < 1 || n > 16) return Erro(Format("GS ( k: m\xF3" "dulo de QR %d fora de 1 a 16", n), Comando());
        estado_.qrModulo = n;
        return;
      }
      case 69: {  // error correction level
        const int n = parametro(2);
        if (n < 48 || n > 51) return Erro(Format("GS ( k: n\xEDvel de corre\xE7\xE3o %d desconhecido", n), Comando());
        estado_.qrNivel = n - 48;
        return;
      }
      case 80:  // store the data
        if (corpo.size() < 3) return Erro("GS ( k: dados do QR sem o byte 30", Comando());
        estado_.qrDados = std::string(corpo.substr(3));
        return;
      case 81: ImprimirQR(); return;
      case 82: return;  // the symbol's size, a reply
      default: return Desconhecido(Format("GS ( k fun\xE7\xE3o %d", fn), Comando());
    }
  }

  void ImprimirQR() {
    if (!estado_.qrDados || estado_.qrDados->empty())
      return Nota("GS ( k: QR Code impresso sem dados guardados (nada sai)");
    const std::string& dados = *estado_.qrDados;
    const TSimbologia s = estado_.qrModelo == 3 ? TSimbologia::MicroQR : TSimbologia::QRCode;
    const TSimboloCodificado simbolo = CodificarSimbolo(s, dados, estado_.qrNivel);
    if (!simbolo.ok) return Erro("GS ( k: QR Code \"" + Legivel(dados) + "\" recusado: " + simbolo.erro, {});
    const int m = estado_.qrModulo;
    const int lado = simbolo.largura * m;
    TComposicao& comp = Atual();
    if (lado > comp.LarguraRegiao())
      return Erro(Format("GS ( k: QR Code de %d pontos n\xE3o cabe na \xE1rea de %d pontos (n\xE3o impresso)", lado,
                         comp.LarguraRegiao()),
                  {});
    if (estado_.qrModelo == 1) Nota("GS ( k: QR Code modelo 1 desenhado como modelo 2");
    const int altura = simbolo.altura * m;
    const std::optional<int> x0 = comp.Bloco(lado, altura);
    if (!x0) return;
    for (const TRetangulo& r : simbolo.modulos)
      comp.Tinta(TRetangulo{*x0 + r.x * m, comp.Y() + r.y * m, r.largura * m, r.altura * m});
    static const char niveis[] = "LMQH";
    TObjeto o;
    o.tipo = TTipoObjeto::QRCode;
    o.area = TRetangulo{*x0, comp.Y(), lado, altura};
    o.dados = dados;
    o.detalhe = Format("%s, n\xEDvel %c, m\xF3" "dulo %d", NomeSimbologia(s), niveis[estado_.qrNivel], m);
    comp.Objeto(std::move(o));
    comp.AvancarBloco(altura);
  }

  // A raster of `largura` x `altura` dots from the data, which must hold at
  // least ceil(largura / 8) * altura bytes.
  static TBitmap Raster(std::string_view dados, int largura, int altura, int escalaX, int escalaY) {
    TBitmap b;
    b.largura = largura;
    b.altura = altura;
    b.escalaX = escalaX;
    b.escalaY = escalaY;
    b.raster = std::string(dados.substr(0, static_cast<std::size_t>((largura + 7) / 8) * altura));
    return b;
  }

  void Graficos(const std::string& nome, std::string_view corpo) {
    if (corpo.size() < 2) return Erro(nome + ": sem fun\xE7\xE3o", Comando());
    const auto fn = static_cast<uint8_t>(corpo[1]);
    const std::string nomeFn = nome + Format(" fun\xE7\xE3o %d", fn);
    switch (fn) {
      case 48:  // NV memory capacity: a reply
      case 51:  // graphics buffer capacity: a reply
      case 64:  // key codes in use: a reply
        return;
      case 50: {  // print the graphics buffer
        if (!estado_.grafico) return Nota(nomeFn + ": buffer gr\xE1" "fico vazio (nada sai)");
        TBitmap b = std::move(*estado_.grafico);
        estado_.grafico.reset();
        ImprimirBitmap(std::move(b), "gr\xE1" "fico");
        return;
      }
      case 112: {  // store a raster in the graphics buffer
        if (corpo.size() < 10) return Erro(nomeFn + ": cabe\xE7" "alho cortado", Comando());
        const int a = static_cast<uint8_t>(corpo[2]);
        const int bx = static_cast<uint8_t>(corpo[3]), by = static_cast<uint8_t>(corpo[4]);
        const int cor = static_cast<uint8_t>(corpo[5]);
        const int x = LE2(corpo, 6), y = LE2(corpo, 8);
        if (a != 48 || (bx != 1 && bx != 2) || (by != 1 && by != 2) || cor < 49 || cor > 52 || x < 1 || y < 1)
          return Erro(nomeFn + Format(": par\xE2metros inv\xE1lidos (tom %d, escala %d x %d, cor %d, %d x %d pontos)",
                                      a, bx, by, cor, x, y),
                      Comando());
        const std::size_t k = static_cast<std::size_t>((x + 7) / 8) * static_cast<std::size_t>(y);
        const std::string_view dados = corpo.substr(10);
        if (dados.size() < k)
          return Erro(nomeFn + Format(": a imagem de %d x %d pontos precisa de %zu bytes e s\xF3 h\xE1 %zu", x, y, k,
                                      dados.size()),
                      {});
        if (dados.size() > k) Nota(nomeFn + Format(": %zu byte(s) a mais depois da imagem", dados.size() - k));
        if (cor == 49) estado_.grafico = Raster(dados, x, y, bx, by);
        return;
      }
      case 67: {  // define an NV graphic (raster) under two key codes
        if (corpo.size() < 11) return Erro(nomeFn + ": cabe\xE7" "alho cortado", Comando());
        const uint8_t kc1 = static_cast<uint8_t>(corpo[3]), kc2 = static_cast<uint8_t>(corpo[4]);
        const int cores = static_cast<uint8_t>(corpo[5]);
        const int x = LE2(corpo, 6), y = LE2(corpo, 8);
        if (x < 1 || y < 1 || cores < 1 || cores > 2)
          return Erro(nomeFn + Format(": par\xE2metros inv\xE1lidos (%d cores, %d x %d pontos)", cores, x, y),
                      Comando());
        const std::size_t k = static_cast<std::size_t>((x + 7) / 8) * static_cast<std::size_t>(y);
        const std::string_view dados = corpo.substr(11);
        const std::size_t esperado = (k + 1) * static_cast<std::size_t>(cores) - 1;
        if (dados.size() < k)
          return Erro(nomeFn + Format(": o logo de %d x %d pontos precisa de %zu bytes e s\xF3 h\xE1 %zu", x, y, k,
                                      dados.size()),
                      {});
        logos_[{kc1, kc2}] = Raster(dados, x, y, 1, 1);
        Nota(nomeFn + Format(": logo %s gravado na impressora (%d x %d pontos)", ChaveLogo(kc1, kc2).c_str(), x, y));
        if (dados.size() > esperado)
          Nota(nomeFn + Format(": %zu byte(s) a mais depois do logo", dados.size() - esperado));
        return;
      }
      case 69: {  // print the NV graphic of two key codes
        if (corpo.size() < 6) return Erro(nomeFn + ": par\xE2metros cortados", Comando());
        const uint8_t kc1 = static_cast<uint8_t>(corpo[2]), kc2 = static_cast<uint8_t>(corpo[3]);
        const int ex = Digito(static_cast<uint8_t>(corpo[4]), 2), ey = Digito(static_cast<uint8_t>(corpo[5]), 2);
        if (ex < 1 || ey < 1) return Erro(nomeFn + ": escala inv\xE1lida", Comando());
        const auto salvo = logos_.find({kc1, kc2});
        if (salvo != logos_.end()) {
          TBitmap b = salvo->second;
          b.escalaX = ex;
          b.escalaY = ey;
          ImprimirBitmap(std::move(b), "logo " + ChaveLogo(kc1, kc2));
          return;
        }
        CaixaLogo("LOGO " + ChaveLogo(kc1, kc2) + Format(" x%d y%d", ex, ey), ex, ey);
        return;
      }
      case 65:
        return Nota(nomeFn + ": apaga todos os logos da impressora");
      case 66:
        if (corpo.size() < 4) return Erro(nomeFn + ": par\xE2metros cortados", Comando());
        return Nota(nomeFn + ": apaga o logo " +
                    ChaveLogo(static_cast<uint8_t>(corpo[2]), static_cast<uint8_t>(corpo[3])) + " da impressora");
      default:
        return Desconhecido(nomeFn, Comando());
    }
  }

  // Key codes as the preview shows them: "  " (20 20).
  static std::string ChaveLogo(uint8_t kc1, uint8_t kc2) {
    auto c = [](uint8_t k) { return k >= 0x20 && k < 0x7F ? static_cast<char>(k) : '?'; };
    return Format("\"%c%c\" (%02X %02X)", c(kc1), c(kc2), kc1, kc2);
  }

  // A logo the printer keeps and these bytes never showed: a box in its place.
  void CaixaLogo(const std::string& rotulo, int ex, int ey) {
    TComposicao& comp = Atual();
    const int largura = std::min(kLarguraLogo * ex, comp.LarguraRegiao());
    const int altura = kAlturaLogo * ey;
    const std::optional<int> x0 = comp.Bloco(largura, altura);
    if (!x0) return;
    TAnotacao a;
    a.tipo = TTipoAnotacao::Logo;
    a.area = TRetangulo{*x0, comp.Y(), largura, altura};
    a.texto = rotulo;
    comp.Folha().anotacoes.push_back(a);
    TObjeto o;
    o.tipo = TTipoObjeto::Logo;
    o.area = a.area;
    o.dados = rotulo;
    comp.Objeto(std::move(o));
    comp.AvancarBloco(altura);
  }

  void ImprimirBitmap(TBitmap b, const std::string& detalhe) {
    TComposicao& comp = Atual();
    if (b.LarguraImpressa() > comp.LarguraRegiao()) TComposicao::CortarLargura(b, comp.LarguraRegiao() / b.escalaX);
    if (b.largura <= 0) return;
    const int altura = b.AlturaImpressa();
    const std::optional<int> x0 = comp.Bloco(b.LarguraImpressa(), altura);
    if (!x0) return;
    b.x = *x0;
    b.y = comp.Y();
    TObjeto o;
    o.tipo = TTipoObjeto::Imagem;
    o.area = TRetangulo{b.x, b.y, b.LarguraImpressa(), altura};
    o.detalhe = detalhe + Format(" %d x %d pontos", b.largura, b.altura);
    comp.Objeto(std::move(o));
    comp.Bitmap(std::move(b));
    comp.AvancarBloco(altura);
  }

  // GS v 0 m xL xH yL yH: a raster printed at once.
  void RasterGsV() {
    if (!Precisa(3, "GS v")) return;
    if (Byte(2) != '0') {
      p_ += 2;
      return Desconhecido("GS v", Comando());
    }
    if (!Precisa(8, "GS v 0")) return;
    const uint8_t modo = Byte(3);
    const int m = Digito(modo, 3);
    const int x = Byte(4) | (Byte(5) << 8), y = Byte(6) | (Byte(7) << 8);
    if (m < 0 || x == 0 || y == 0) {
      p_ += 8;
      return Erro(Format("GS v 0: par\xE2metros inv\xE1lidos (modo %d, %d bytes x %d linhas)", modo, x, y),
                  Comando());
    }
    const std::size_t k = static_cast<std::size_t>(x) * static_cast<std::size_t>(y);
    if (Resta() - 8 < k) {
      Erro(Format("GS v 0: a imagem de %d x %d pontos declara %zu bytes e s\xF3 h\xE1 %zu", x * 8, y, k, Resta() - 8),
           d_.substr(p_, 8));
      p_ = d_.size();
      return;
    }
    TBitmap b = Raster(d_.substr(p_ + 8, k), x * 8, y, (m & 1) ? 2 : 1, (m & 2) ? 2 : 1);
    p_ += 8 + k;
    ImprimirBitmap(std::move(b), "raster");
  }

  // --- FS and DLE -------------------------------------------------------------

  void Fs() {
    if (!Precisa(2, "FS")) return;
    const uint8_t c = Byte(1);
    if (c == 'p') {
      if (!Precisa(4, "FS p")) return;
      const int n = Byte(2);
      const int m = Digito(Byte(3), 3);
      p_ += 4;
      if (m < 0) return Erro("FS p: escala inv\xE1lida", Comando());
      const int ex = (m & 1) ? 2 : 1, ey = (m & 2) ? 2 : 1;
      if (n >= 1 && static_cast<std::size_t>(n) <= logosLegado_.size()) {
        TBitmap b = logosLegado_[static_cast<std::size_t>(n - 1)];
        b.escalaX = ex;
        b.escalaY = ey;
        return ImprimirBitmap(std::move(b), Format("logo %d", n));
      }
      return CaixaLogo(Format("LOGO %d (FS p) x%d y%d", n, ex, ey), ex, ey);
    }
    if (c == 'q') return DefinirLogosLegado();
    p_ += 2;
    Desconhecido(Format("FS %c", c >= 0x20 && c < 0x7F ? c : '?'), Comando());
  }

  // FS q n, then for each image xL xH yL yH and (x * 8) columns of y bytes:
  // an image (x * 8) dots wide and (y * 8) dots tall.
  void DefinirLogosLegado() {
    if (!Precisa(3, "FS q")) return;
    const int n = Byte(2);
    p_ += 3;
    std::vector<TBitmap> imagens;
    for (int i = 0; i < n; ++i) {
      if (!Precisa(4, "FS q")) return;
      const int x = Byte(0) | (Byte(1) << 8), y = Byte(2) | (Byte(3) << 8);
      if (x < 1 || x > 1023 || y < 1 || y > 288) {
        p_ += 4;
        return Erro(Format("FS q: imagem %d com tamanho inv\xE1lido (%d x %d)", i + 1, x, y), Comando());
      }
      const std::size_t k = static_cast<std::size_t>(x) * static_cast<std::size_t>(y) * 8;
      if (Resta() - 4 < k) {
        Erro(Format("FS q: a imagem %d de %d x %d pontos declara %zu bytes e s\xF3 h\xE1 %zu", i + 1, x * 8, y * 8, k,
                    Resta() - 4),
             d_.substr(p_, 4));
        p_ = d_.size();
        return;
      }
      const std::string_view colunas = d_.substr(p_ + 4, k);
      p_ += 4 + k;
      TBitmap b;
      b.largura = x * 8;
      b.altura = y * 8;
      const std::size_t porLinha = static_cast<std::size_t>(x);
      b.raster.assign(porLinha * static_cast<std::size_t>(b.altura), '\0');
      for (std::size_t col = 0; col < static_cast<std::size_t>(b.largura); ++col) {
        for (std::size_t linha = 0; linha < static_cast<std::size_t>(b.altura); ++linha) {
          const auto byte = static_cast<uint8_t>(colunas[col * static_cast<std::size_t>(y) + linha / 8]);
          if (byte & (0x80 >> (linha % 8)))
            b.raster[linha * porLinha + col / 8] |= static_cast<char>(0x80 >> (col % 8));
        }
      }
      imagens.push_back(std::move(b));
    }
    // FS q replaces every image the printer kept.
    logosLegado_ = std::move(imagens);
    Nota(Format("FS q: %d logo(s) gravado(s) na impressora", n));
  }

  void Dle() {
    if (!Precisa(3, "DLE")) return;
    const uint8_t c = Byte(1);
    if (c == 0x04 || c == 0x05) {  // status request, real-time request: replies
      p_ += 3;
      return;
    }
    if (c == 0x14) {
      if (!Precisa(5, "DLE DC4")) return;
      const int fn = Byte(2), m = Byte(3), t = Byte(4);
      p_ += 5;
      if (fn == 1 && (m == 0 || m == 1))
        return Marca(TTipoAnotacao::Gaveta, m == 0 ? "G1" : "G2",
                     Format("gaveta %d (pino %d, DLE DC4): pulso de %d ms", m + 1, m == 0 ? 2 : 5, t * 100));
      return Desconhecido("DLE DC4", Comando());
    }
    p_ += 2;
    Desconhecido("DLE", Comando());
  }

  void Terminar() {
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

  std::string_view d_;
  const TOpcoesPreview opcoes_;
  TFolha folha_;
  TEstado estado_;
  TComposicao papel_;
  std::unique_ptr<TFolha> folhaPagina_;
  std::unique_ptr<TComposicao> pagina_;
  std::size_t p_ = 0;
  std::size_t inicio_ = 0;
  std::string desconhecidos_;
  std::size_t inicioDesconhecidos_ = 0;
  int fimMarcas_ = 0;
  std::map<std::pair<uint8_t, uint8_t>, TBitmap> logos_;
  std::vector<TBitmap> logosLegado_;
};

}  // namespace

TFolha InterpretarEscPos(std::string_view bytes, const TOpcoesPreview& opcoes) {
  return TInterpretador(bytes, opcoes).Executar();
}

}  // namespace bilhetor::preview
