#pragma once
// The inside of the ESC/POS interpreter of EscPosInterpretador.h, shared by the
// files of src/preview that carry it out and included by no file outside it:
//
//   EscPosInterpretador.cpp  the reading loop and the ESC, GS and FS command
//                            tables
//   EscPosAnotacoes.cpp      bands, notes and how bytes and data show in them
//   EscPosComposicao.cpp     lines and blocks laid out on a paper or a page
//   EscPosTexto.cpp          characters, fonts, spacing, position, ESC @
//   EscPosPagina.cpp         page mode
//   EscPosCodigos.cpp        barcodes and QR codes
//   EscPosGraficos.cpp       raster and column images, logos
//   EscPosPapel.cpp          cuts, and the drawer and beep marks in the margin
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "preview/EscPosInterpretador.h"
#include "preview/Folha.h"
#include "preview/Simbolos.h"
#include "preview/TabelasPaginas.h"

namespace bilhetor::preview::escpos {

inline constexpr int kEspacamentoPadrao = 30;  // dots, after ESC @ and ESC 2
inline constexpr int kTabulacao = 8 * kLarguraFonteA;
inline constexpr int kAlturaFaixa = 18;   // an annotation band
inline constexpr int kAlturaMarca = 20;   // a mark in the margin
inline constexpr int kAlturaCorte = 16;   // the room of a cut line
inline constexpr int kFolgaPapel = 16;    // paper above the first line and below the last
inline constexpr int kFolgaHri = 4;       // between the bars and their readable text
inline constexpr int kLarguraLogo = 192;  // the box of a logo the preview has not seen
inline constexpr int kAlturaLogo = 96;
inline constexpr std::size_t kBytesMostrados = 24;

inline constexpr uint8_t LF = 0x0A, CR = 0x0D, HT = 0x09, FF = 0x0C, SI = 0x0F, DC2 = 0x12, CAN = 0x18,
                         ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10;

// "1B 40 ..." with at most kBytesMostrados bytes, then the count.
std::string Hex(std::string_view bytes);

// The data of a symbol as the preview shows it: printable ASCII as it is,
// other bytes as <hex>.
std::string Legivel(std::string_view dados, std::size_t maximo = 64);

// A parameter given either as a small number or as its ASCII digit
// ("0".."9" are 30..39): the number, or -1 when above `maximo`.
inline int Digito(uint8_t n, int maximo) {
  if (n <= maximo) return n;
  if (n >= '0' && n <= '0' + maximo) return n - '0';
  return -1;
}

// Byte i of s, and the little-endian 16-bit number at i.
inline uint8_t U8(std::string_view s, std::size_t i) { return static_cast<uint8_t>(s[i]); }
inline int LE2(std::string_view s, std::size_t i) { return U8(s, i) | (U8(s, i + 1) << 8); }

struct TEstado {
  TEstiloTexto estilo;
  int espacoDireita = 0;
  int alinhamento = 0;
  int espacamento = kEspacamentoPadrao;
  const TTabelaCaracteres* tabela = TabelaCaracteres(0);
  int margemEsquerda = 0;
  int larguraArea = 65535;
  // barcodes
  int larguraModulo = 3;
  int alturaBarras = 162;
  int posicaoHri = 0;  // bit 0 above, bit 1 below
  bool hriFonteB = false;
  // QR code
  int qrModelo = 2;  // 1, 2, or 3 for Micro QR
  int qrModulo = 3;
  int qrNivel = 0;   // 0 L, 1 M, 2 Q, 3 H
  std::optional<std::string> qrDados;
  // the graphics buffer of GS ( L fn 112
  std::optional<TBitmap> grafico;
  // page mode
  int paginaX = 0, paginaY = 0, paginaLargura = 0, paginaAltura = 0;  // ESC W; largura 0: none
  int direcao = 0;
};

// Lays out lines and blocks on one paper: the printed paper, or the page of
// page mode. Coordinates of the paper it fills: the area starts at xBase and
// is `largura` dots wide.
class TComposicao {
 public:
  TComposicao(TFolha& folha, const TEstado& estado, int xBase, int largura, int y, int alturaMaxima)
      : folha_(folha), estado_(estado), xBase_(xBase), largura_(largura), y_(y), alturaMaxima_(alturaMaxima) {}

  TFolha& Folha() { return folha_; }
  int Y() const { return y_; }
  void SetY(int y);
  int Largura() const { return largura_; }
  void SetLargura(int largura);
  bool LinhaVazia() const { return !linhaUsada_; }
  const std::string& TextoLinha() const { return textoLinha_; }
  // The lowest dot used, for a page fitted to its content.
  int Fundo() const;

  // The line's area inside the paper's: GS L and GS W, never past its edge.
  int InicioRegiao() const;
  int LarguraRegiao() const;

  void Caractere(char32_t codigo, uint8_t byte);
  void Tabulacao();
  void Posicao(int x);
  int X() const { return x_; }

  // A picture inside the line (ESC *), cut at the line's end.
  void ImagemNaLinha(TBitmap b);

  // Prints the line and feeds at least the line spacing; an empty line only
  // feeds.
  void ImprimirLinha() { ImprimirEAvancar(estado_.espacamento); }

  // Prints the line and feeds `pontos` dots, or the line's height when that is
  // more: printing a line moves the paper under the head.
  void ImprimirEAvancar(int pontos);

  // Prints a line that is not empty, without the feed after it.
  void TerminarLinha();

  // Drops the line (ESC @, CAN); the characters it held.
  std::size_t DescartarLinha();

  // Room for a block (barcode, QR code, image) aligned as ESC a says: its left
  // edge on the paper, or nullopt when the paper ends before it.
  std::optional<int> Bloco(int largura, int altura);
  void AvancarBloco(int altura) { Avancar(altura); }

  void Avancar(int pontos);
  bool Cabe(int base);

  void Glifo(TGlifo g) { folha_.glifos.push_back(g); }
  void Tinta(TRetangulo r) { folha_.tinta.push_back(r); }
  void Objeto(TObjeto o) { folha_.objetos.push_back(std::move(o)); }
  void Bitmap(TBitmap b) { folha_.bitmaps.push_back(std::move(b)); }
  int XBase() const { return xBase_; }

  // Keeps the `largura` leftmost dots of each row.
  static void CortarLargura(TBitmap& b, int largura);

 private:
  // Past the longest paper nothing is placed, so the position stops there.
  int Limite() const { return alturaMaxima_ + 1; }
  void Descer(int pontos);
  void Usar(int largura, int altura);
  int Deslocamento(int largura) const;
  int ColocarLinha();
  void LimparLinha();

  TFolha& folha_;
  const TEstado& estado_;
  int xBase_;
  int largura_;
  int y_;
  int alturaMaxima_;
  int fundo_ = 0;
  // The line being filled: x relative to the line's start; y holds each
  // item's height until the line is placed.
  std::vector<TGlifo> glifos_;
  std::vector<TBitmap> bitmapsLinha_;
  std::string textoLinha_;
  int x_ = 0;
  int alturaLinha_ = 0;
  bool linhaUsada_ = false;
};

class TInterpretador {
 public:
  TInterpretador(std::string_view dados, const TOpcoesPreview& opcoes);

  TFolha Executar();

 private:
  // A command of the ESC, GS and FS tables: the byte after the prefix, how
  // many parameter bytes follow it, and its handler. The dispatch checks that
  // the parameters are there (an error band when the data ends before them),
  // takes them and hands them to the handler; what follows them (data of a
  // length they give, a buffer's function) the handler reads from p_ itself.
  using TTratador = void (TInterpretador::*)(std::string_view parametros);
  struct TComando {
    uint8_t byte;
    uint8_t parametros;
    TTratador tratar;
  };

  static TOpcoesPreview Normalizar(TOpcoesPreview o);
  TComposicao& Atual() { return pagina_ ? *pagina_ : papel_; }

  // --- reading and dispatch (EscPosInterpretador.cpp) -------------------------

  uint8_t Byte(std::size_t deslocamento) const { return static_cast<uint8_t>(d_[p_ + deslocamento]); }
  std::size_t Resta() const { return d_.size() - p_; }
  // True when n bytes are there from p_; otherwise the command is cut short:
  // an error band with the bytes from p_ on, and the reading ends.
  bool Precisa(std::size_t n, const std::string& nome);
  // The same for n bytes after parameters already taken: the band shows the
  // command from its first byte.
  bool PrecisaMais(std::size_t n, const std::string& nome);
  // The bytes of the command read so far.
  std::string_view Comando() const { return d_.substr(inicio_, p_ - inicio_); }
  // "ESC a", "GS k", "FS p": the command at inicio_ as the bands name it.
  std::string NomeComando() const;

  void Despachar(const char* prefixo, std::span<const TComando> tabela);
  void Esc();
  void Gs();
  void Fs();
  void Dle();
  void GsParenteses(std::string_view parametros);
  // A command that prints nothing and whose parameters need no check.
  void Ignorar(std::string_view) {}
  void Terminar();

  // --- annotations (EscPosAnotacoes.cpp) --------------------------------------

  void Faixa(TTipoAnotacao tipo, const std::string& texto);
  void Desconhecido(const std::string& nome, std::string_view bytes);
  void Erro(const std::string& texto, std::string_view bytes);
  void Nota(const std::string& texto);
  // A command the preview knows but does not draw.
  void NaoDesenhado(const std::string& texto, std::string_view bytes);
  void FecharDesconhecidos();

  // --- text, fonts, spacing and position (EscPosTexto.cpp) --------------------

  void Texto(uint8_t b);
  void Inicializar(std::string_view = {});
  void EspacamentoPadrao(std::string_view);
  void Espacamento(std::string_view p);
  void EspacoDireita(std::string_view p);
  void ModoImpressao(std::string_view p);
  void Negrito(std::string_view p);
  void Sublinhado(std::string_view p);
  void Fonte(std::string_view p);
  void ItalicoLigado(std::string_view);
  void ItalicoDesligado(std::string_view);
  void Alinhamento(std::string_view p);
  void EscolherTabela(std::string_view p);
  void AvancarPontos(std::string_view p);
  void AvancarLinhas(std::string_view p);
  void PosicaoAbsoluta(std::string_view p);
  void PosicaoRelativa(std::string_view p);
  void CabecaParaBaixo(std::string_view p);
  void Girado90(std::string_view p);
  void ConjuntoInternacional(std::string_view p);
  void TamanhoCaractere(std::string_view p);
  void Invertido(std::string_view p);
  void MargemEsquerda(std::string_view p);
  void LarguraArea(std::string_view p);

  // --- page mode (EscPosPagina.cpp) -------------------------------------------

  void EntrarModoPagina(std::string_view = {});
  void SairModoPagina(std::string_view = {});
  void AreaPagina(std::string_view p);
  void Direcao(std::string_view p);
  void PosicaoVerticalPagina(std::string_view p);
  void ImprimirPaginaSemSair(std::string_view);
  void FimDePagina();
  void CancelarLinhaPagina();
  int LarguraConteudoPagina() const;
  void AjustarPagina();
  void ImprimirPagina(bool sair);
  static TRetangulo NaPagina(const TRetangulo& r, const TPaginaImpressa& p, int w, int h);
  static TFolha CopiarFolha(const TFolha& f, int altura);

  // --- barcodes and QR codes (EscPosCodigos.cpp) ------------------------------

  void CodigoBarras(std::string_view p);
  void LarguraModulo(std::string_view p);
  void AlturaBarras(std::string_view p);
  void PosicaoHri(std::string_view p);
  void FonteHri(std::string_view p);
  static bool DadosSimbolo(TSimbologia s, std::string_view dados, std::string& saida, std::string& erro);
  void TextoHri(const std::string& texto, int x0, int larguraBarras, int y);
  void ImprimirBarras(TSimbologia s, std::string_view bruto);
  void Simbolo2D(std::string_view corpo);
  void ImprimirQR();

  // --- images and logos (EscPosGraficos.cpp) ----------------------------------

  void ImagemColunas(std::string_view p);
  void RasterGsV(std::string_view p);
  void Gs8(std::string_view p);
  void Graficos(const std::string& nome, std::string_view corpo);
  void LogoLegado(std::string_view p);
  void DefinirLogosLegado(std::string_view p);
  static TBitmap Raster(std::string_view dados, int largura, int altura, int escalaX, int escalaY);
  static std::string ChaveLogo(uint8_t kc1, uint8_t kc2);
  void CaixaLogo(const std::string& rotulo, int ex, int ey);
  void ImprimirBitmap(TBitmap b, const std::string& detalhe);

  // --- cuts, drawer and beep (EscPosPapel.cpp) --------------------------------

  void Marca(TTipoAnotacao tipo, const std::string& rotulo, const std::string& descricao);
  void Corte(bool total, int avanco);
  void CorteParcial(std::string_view);
  void CorteGsV(std::string_view p);
  void Gaveta(std::string_view p);
  void GavetaTempoReal();
  void EscParenteses(std::string_view p);
  void SensoresEPainel(std::string_view p);

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

}  // namespace bilhetor::preview::escpos
