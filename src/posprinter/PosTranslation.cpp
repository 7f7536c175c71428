// The engine's answers to the tag processor: what every tag of the language
// turns into with the current command set, and the engine state each tag
// changes (font attributes, alignment, page mode, the configuration objects).
#include <string_view>
#include <unordered_map>

#include "common/Strings.h"
#include "posprinter/PosImage.h"
#include "posprinter/PosPrinter.h"
#include "posprinter/PosTags.h"

namespace bilhetor {

namespace {

enum class TTagSimples {
  LigaExpandido, DesligaExpandido, LigaAlturaDupla, DesligaAlturaDupla, LigaNegrito, DesligaNegrito,
  LigaSublinhado, DesligaSublinhado, LigaCondensado, DesligaCondensado, LigaItalico, DesligaItalico,
  FonteNormal, Zera, Reset, LigaInvertido, DesligaInvertido, FonteA, FonteB, LinhaSimples, LinhaDupla,
  PulaLinhas, CorteParcial, CorteTotal, Corte, AbreGaveta, Beep, Logo, Lf, Cr, AlinhaEsquerda,
  AlinhaDireita, AlinhaCentro, ModoPaginaLiga, ModoPaginaDesliga, ModoPaginaImprimir, ModoPaginaConfigurar,
};

enum class TTagBloco {
  Esquerda, Direita, Centro, AbreGaveta, QRCodeTipo, QRCodeLargura, QRCodeError, QRCode, Bmp,
  MpDirecao, MpEsquerda, MpTopo, MpAltura, MpEspaco, MpLargura, BarraMostrar, BarraLargura, BarraAltura,
  LogoImprimir, LogoKC1, LogoKC2, LogoFatorX, LogoFatorY,
  // Barcodes, each with the cleaning of its content.
  EAN8, EAN13, Std, Inter, Code11, Code39, Code93, Code128, UPCA, UPCE, Codabar, MSI, Code128a, Code128b,
  Code128c,
};

template <typename E>
using TMapa = std::unordered_map<std::string_view, E>;

const TMapa<TTagSimples>& MapaSimples() {
  using T = TTagSimples;
  static const TMapa<T> m = {
      {cTagLigaExpandido, T::LigaExpandido}, {cTagDesligaExpandido, T::DesligaExpandido},
      {cTagLigaAlturaDupla, T::LigaAlturaDupla}, {cTagDesligaAlturaDupla, T::DesligaAlturaDupla},
      {cTagLigaNegrito, T::LigaNegrito}, {cTagDesligaNegrito, T::DesligaNegrito},
      {cTagLigaSublinhado, T::LigaSublinhado}, {cTagDesligaSublinhado, T::DesligaSublinhado},
      {cTagLigaCondensado, T::LigaCondensado}, {cTagDesligaCondensado, T::DesligaCondensado},
      {cTagLigaItalico, T::LigaItalico}, {cTagDesligaItalico, T::DesligaItalico},
      {cTagFonteNormal, T::FonteNormal}, {cTagZera, T::Zera}, {cTagReset, T::Reset},
      {cTagLigaInvertido, T::LigaInvertido}, {cTagDesligaInvertido, T::DesligaInvertido},
      {cTagFonteA, T::FonteA}, {cTagFonteB, T::FonteB}, {cTagLinhaSimples, T::LinhaSimples},
      {cTagLinhaDupla, T::LinhaDupla}, {cTagPulaLinhas, T::PulaLinhas}, {cTagCorteParcial, T::CorteParcial},
      {cTagCorteTotal, T::CorteTotal}, {cTagCorte, T::Corte}, {cTagAbreGaveta, T::AbreGaveta},
      {cTagBeep, T::Beep}, {cTagLogotipo, T::Logo}, {cTagPulaLinha, T::Lf}, {cTagRetornoCarro, T::Cr},
      {cTagAlinhadoEsquerda, T::AlinhaEsquerda}, {cTagAlinhadoDireita, T::AlinhaDireita},
      {cTagAlinhadoCentro, T::AlinhaCentro}, {cTagModoPaginaLiga, T::ModoPaginaLiga},
      {cTagModoPaginaDesliga, T::ModoPaginaDesliga}, {cTagModoPaginaImprimir, T::ModoPaginaImprimir},
      {cTagModoPaginaConfigurar, T::ModoPaginaConfigurar},
  };
  return m;
}

const TMapa<TTagBloco>& MapaBlocos() {
  using T = TTagBloco;
  static const TMapa<T> m = {
      {cTagBlocoEsquerda, T::Esquerda}, {cTagBlocoDireita, T::Direita}, {cTagBlocoCentro, T::Centro},
      {cTagAbreGavetaEsp, T::AbreGaveta}, {cTagQRCodeTipo, T::QRCodeTipo},
      {cTagQRCodeLargura, T::QRCodeLargura}, {cTagQRCodeError, T::QRCodeError}, {cTagQRCode, T::QRCode},
      {cTagBMP, T::Bmp}, {cTagModoPaginaDirecao, T::MpDirecao}, {cTagModoPaginaPosEsquerda, T::MpEsquerda},
      {cTagModoPaginaPosTopo, T::MpTopo}, {cTagModoPaginaAltura, T::MpAltura},
      {cTagModoPaginaEspaco, T::MpEspaco}, {cTagModoPaginaLargura, T::MpLargura},
      {cTagBarraMostrar, T::BarraMostrar}, {cTagBarraLargura, T::BarraLargura},
      {cTagBarraAltura, T::BarraAltura}, {cTagLogoImprimir, T::LogoImprimir}, {cTagLogoKC1, T::LogoKC1},
      {cTagLogoKC2, T::LogoKC2}, {cTagLogoFatorX, T::LogoFatorX}, {cTagLogoFatorY, T::LogoFatorY},
      {cTagBarraEAN8, T::EAN8}, {cTagBarraEAN13, T::EAN13}, {cTagBarraStd, T::Std},
      {cTagBarraInter, T::Inter}, {cTagBarraCode11, T::Code11}, {cTagBarraCode39, T::Code39},
      {cTagBarraCode93, T::Code93}, {cTagBarraCode128, T::Code128}, {cTagBarraUPCA, T::UPCA},
      {cTagBarraUPCE, T::UPCE}, {cTagBarraCodaBar, T::Codabar}, {cTagBarraMSI, T::MSI},
      {cTagBarraCode128a, T::Code128a}, {cTagBarraCode128b, T::Code128b}, {cTagBarraCode128c, T::Code128c},
  };
  return m;
}

// Content read as a whole number; false when it is not one.
bool LerNumero(const std::string& conteudo, int& valor) { return TryStrToInt(conteudo, valor); }

// Content read as a boolean: a number (0 false, anything else true) or the
// words True and False in any letter case.
bool LerFlag(const std::string& conteudo, bool& valor) {
  int n = 0;
  if (TryStrToInt(conteudo, n)) {
    valor = n != 0;
    return true;
  }
  const std::string t = Trim(conteudo);
  if (SameText(t, "true")) {
    valor = true;
    return true;
  }
  if (SameText(t, "false")) {
    valor = false;
    return true;
  }
  return false;
}

int NumeroOu(const std::string& conteudo, int atual) {
  int n = 0;
  return LerNumero(conteudo, n) ? n : atual;
}

uint8_t ByteBaixo(int n) { return static_cast<uint8_t>(static_cast<unsigned>(n) & 0xFFu); }

bool Digito(char c) { return c >= '0' && c <= '9'; }

template <typename Pred>
std::string Filtrar(const std::string& s, Pred aceita) {
  std::string r;
  r.reserve(s.size());
  for (char c : s)
    if (aceita(static_cast<unsigned char>(c))) r.push_back(c);
  return r;
}

// The digits padded on the left with "0" to n, or cut to their first n.
std::string DigitosFixos(const std::string& conteudo, std::size_t n) {
  std::string d = OnlyDigits(conteudo);
  if (d.size() >= n) return d.substr(0, n);
  return std::string(n - d.size(), '0') + d;
}

std::string LimparCodigoBarras(TTagBloco tag, const std::string& c) {
  using T = TTagBloco;
  switch (tag) {
    case T::UPCA: return DigitosFixos(c, 11);
    case T::EAN13: return DigitosFixos(c, 12);
    case T::EAN8: return DigitosFixos(c, 7);
    case T::UPCE:
    case T::Code128c:
    case T::Std:
    case T::Code11:
    case T::MSI: return OnlyDigits(c);
    case T::Code39:
      return Filtrar(c, [](unsigned char x) {
        return x == ' ' || x == '$' || x == '%' || x == '*' || x == '+' || x == '-' || x == '.' || x == '/' ||
               Digito(static_cast<char>(x)) || (x >= 'A' && x <= 'Z');
      });
    case T::Code93: return Filtrar(c, [](unsigned char x) { return x <= 0x7F; });
    case T::Inter: {
      std::string d = OnlyDigits(c);
      if (d.size() % 2 != 0) d.insert(0, 1, '0');
      return d;
    }
    case T::Codabar:
      return Filtrar(c, [](unsigned char x) {
        return x == '$' || x == '+' || x == '-' || x == '.' || x == '/' || x == ':' || Digito(static_cast<char>(x)) ||
               (x >= 'A' && x <= 'D') || (x >= 'a' && x <= 'd');
      });
    default: return c;
  }
}

bool EhCodigoBarras(TTagBloco tag) { return tag >= TTagBloco::EAN8; }

}  // namespace

// ---------------------------------------------------------------------------
// Alignment

std::string AlinharEsquerdaTexto(const std::string& Texto, int Largura) {
  const std::size_t l = Largura > 0 ? static_cast<std::size_t>(Largura) : 0;
  if (Texto.size() < l) return Texto + std::string(l - Texto.size(), ' ');
  return Texto.substr(0, l);
}

std::string AlinharDireitaTexto(const std::string& Texto, int Largura) {
  const std::size_t l = Largura > 0 ? static_cast<std::size_t>(Largura) : 0;
  if (Texto.size() < l) return std::string(l - Texto.size(), ' ') + Texto;
  return Texto.substr(0, l);
}

std::string CentralizarTexto(const std::string& Texto, int Largura) {
  const std::size_t l = Largura > 0 ? static_cast<std::size_t>(Largura) : 0;
  if (Texto.size() < l) {
    const std::size_t esquerda = (l - Texto.size()) / 2;
    return std::string(esquerda, ' ') + Texto + std::string(l - Texto.size() - esquerda, ' ');
  }
  return Texto.substr(0, l);
}

// ---------------------------------------------------------------------------
// Single tags

void TPosPrinter::LimparEstilos() {
  for (TPosAtributoFonte a : {TPosAtributoFonte::afCondensado, TPosAtributoFonte::afExpandido,
                              TPosAtributoFonte::afNegrito, TPosAtributoFonte::afSublinhado,
                              TPosAtributoFonte::afInvertido, TPosAtributoFonte::afItalico,
                              TPosAtributoFonte::afAlturaDupla})
    estadoFonte_.Excluir(a);
}

std::string TPosPrinter::TraduzirTagSimples(const std::string& Tag) {
  const auto& mapa = MapaSimples();
  const auto it = mapa.find(Tag);
  if (it == mapa.end()) return {};
  TPosPrinterClass& cc = *conjuntoComandos_;
  const TPosComandos& cmd = cc.Comandos;
  auto fonte = [&](TPosAtributoFonte a, bool ligar) {
    std::string r = cc.MontarFonte(a, ligar);
    if (ligar)
      estadoFonte_.Incluir(a);
    else
      estadoFonte_.Excluir(a);
    return r;
  };
  auto corte = [&](const std::string& sequencia) {
    std::string r = cc.MontarPuloLinhas(linhasEntreCupons_);
    if (cortaPapel_) r += sequencia;
    return r;
  };
  auto repetir = [&](char c) {
    const int n = ColunasAtuais();
    return std::string(n > 0 ? static_cast<std::size_t>(n) : 0, c);
  };
  using T = TTagSimples;
  using A = TPosAtributoFonte;
  switch (it->second) {
    case T::LigaExpandido: return fonte(A::afExpandido, true);
    case T::DesligaExpandido: return fonte(A::afExpandido, false);
    case T::LigaAlturaDupla: return fonte(A::afAlturaDupla, true);
    case T::DesligaAlturaDupla: return fonte(A::afAlturaDupla, false);
    case T::LigaNegrito: return fonte(A::afNegrito, true);
    case T::DesligaNegrito: return fonte(A::afNegrito, false);
    case T::LigaSublinhado: return fonte(A::afSublinhado, true);
    case T::DesligaSublinhado: return fonte(A::afSublinhado, false);
    case T::LigaCondensado: return fonte(A::afCondensado, true);
    case T::DesligaCondensado: return fonte(A::afCondensado, false);
    case T::LigaItalico: return fonte(A::afItalico, true);
    case T::DesligaItalico: return fonte(A::afItalico, false);
    case T::LigaInvertido: return fonte(A::afInvertido, true);
    case T::DesligaInvertido: return fonte(A::afInvertido, false);
    case T::FonteA: return fonte(A::afFonteB, false);
    case T::FonteB: return fonte(A::afFonteB, true);
    case T::FonteNormal: LimparEstilos(); return cmd.RestauraFonte;
    case T::Zera: {
      std::string r = cmd.Reinicializa + cc.MontarInicializacao();
      LimparEstilos();
      inicializacaoEnviada_ = true;
      return r;
    }
    case T::Reset:
      LimparEstilos();
      inicializacaoEnviada_ = false;
      return cmd.Reinicializa;
    case T::LinhaSimples: return repetir('-');
    case T::LinhaDupla: return repetir('=');
    case T::PulaLinhas: return cc.MontarPuloLinhas(linhasEntreCupons_);
    case T::CorteParcial: return corte(cmd.CortaParcial);
    case T::CorteTotal: return corte(cmd.CortaTotal);
    case T::Corte: return corte(tipoCorte_ == TPosTipoCorte::ctParcial ? cmd.CortaParcial : cmd.CortaTotal);
    case T::AbreGaveta: return cc.MontarGaveta(1);
    case T::Beep: return cmd.Bip;
    case T::Logo: return configLogo_.IgnorarLogo ? std::string() : cc.MontarLogo();
    case T::Lf: return cc.MontarPuloLinhas(1);
    case T::Cr: return "\r";
    case T::AlinhaEsquerda: alinhamentoAtual_ = 0; return cmd.AlinhaEsquerda;
    case T::AlinhaDireita: alinhamentoAtual_ = 2; return cmd.AlinhaDireita;
    case T::AlinhaCentro: alinhamentoAtual_ = 1; return cmd.AlinhaCentro;
    case T::ModoPaginaLiga: modoPaginaLigado_ = true; return cmd.InicioModoPagina;
    case T::ModoPaginaDesliga: modoPaginaLigado_ = false; return cmd.DescarregaPagina + cmd.FimModoPagina;
    case T::ModoPaginaImprimir: return cmd.DescarregaPagina;
    case T::ModoPaginaConfigurar: return cc.MontarModoPagina();
  }
  return {};
}

void TPosPrinter::TraduzirTag(const std::string& Tag, std::string& Resultado) {
  Resultado = TraduzirTagSimples(Tag);
  if (LogAtivo()) RegistrarLog("TraduzirTag(" + Tag + ") -> " + Resultado, true, true);
}

// ---------------------------------------------------------------------------
// Block tags

std::string TPosPrinter::TraduzirBlocoPadrao(const std::string& Tag, const std::string& Conteudo) {
  const auto& mapa = MapaBlocos();
  const auto it = mapa.find(Tag);
  if (it == mapa.end()) return Conteudo;
  TPosPrinterClass& cc = *conjuntoComandos_;
  using T = TTagBloco;
  const T tag = it->second;
  if (EhCodigoBarras(tag)) {
    std::string codigo = LimparCodigoBarras(tag, Conteudo);
    if (codigo.size() > 255) codigo.resize(255);
    return cc.MontarCodigoBarras(Tag, codigo);
  }
  switch (tag) {
    case T::Esquerda: return AlinharEsquerdaTexto(Conteudo, ColunasAtuais());
    case T::Direita: return AlinharDireitaTexto(Conteudo, ColunasAtuais());
    case T::Centro: return CentralizarTexto(Conteudo, ColunasAtuais());
    case T::AbreGaveta: return cc.MontarGaveta(NumeroOu(Conteudo, 1));
    case T::QRCodeTipo: configQRCode_.SetTipo(NumeroOu(Conteudo, configQRCode_.Tipo())); break;
    case T::QRCodeLargura:
      configQRCode_.SetLarguraModulo(NumeroOu(Conteudo, configQRCode_.LarguraModulo()));
      break;
    case T::QRCodeError: configQRCode_.SetErrorLevel(NumeroOu(Conteudo, configQRCode_.ErrorLevel())); break;
    // No model's printer takes a QR code without data: an empty one prints nothing.
    case T::QRCode: return Conteudo.empty() ? std::string() : cc.MontarQRCode(Conteudo);
    case T::Bmp: return ImprimirImagem(Conteudo);
    case T::MpDirecao: configModoPagina_.Direcao = static_cast<TPosDirecao>(NumeroOu(Conteudo, 0)); break;
    case T::MpEsquerda: configModoPagina_.Esquerda = NumeroOu(Conteudo, configModoPagina_.Esquerda); break;
    case T::MpTopo: configModoPagina_.Topo = NumeroOu(Conteudo, configModoPagina_.Topo); break;
    case T::MpAltura: configModoPagina_.Altura = NumeroOu(Conteudo, configModoPagina_.Altura); break;
    case T::MpLargura: configModoPagina_.Largura = NumeroOu(Conteudo, configModoPagina_.Largura); break;
    case T::MpEspaco:
      configModoPagina_.EspacoEntreLinhas = ByteBaixo(NumeroOu(Conteudo, configModoPagina_.EspacoEntreLinhas));
      break;
    case T::BarraMostrar: {
      bool f = false;
      if (LerFlag(Conteudo, f)) configBarras_.MostrarCodigo = f;
      break;
    }
    case T::BarraLargura: configBarras_.LarguraLinha = NumeroOu(Conteudo, configBarras_.LarguraLinha); break;
    case T::BarraAltura: configBarras_.Altura = NumeroOu(Conteudo, configBarras_.Altura); break;
    case T::LogoImprimir: {
      bool imprimir = !configLogo_.IgnorarLogo;
      LerFlag(Conteudo, imprimir);
      configLogo_.IgnorarLogo = !imprimir;
      break;
    }
    case T::LogoKC1: configLogo_.KeyCode1 = ByteBaixo(NumeroOu(Conteudo, configLogo_.KeyCode1)); break;
    case T::LogoKC2: configLogo_.KeyCode2 = ByteBaixo(NumeroOu(Conteudo, configLogo_.KeyCode2)); break;
    case T::LogoFatorX: configLogo_.FatorX = ByteBaixo(NumeroOu(Conteudo, configLogo_.FatorX)); break;
    case T::LogoFatorY: configLogo_.FatorY = ByteBaixo(NumeroOu(Conteudo, configLogo_.FatorY)); break;
    default: return Conteudo;
  }
  return {};
}

void TPosPrinter::TraduzirTagBloco(const std::string& Tag, const std::string& Conteudo, std::string& Resultado) {
  Resultado = conjuntoComandos_->MontarBloco(Tag, Conteudo);
  // A command set whose block differs from the content has translated it.
  if (Resultado == Conteudo) Resultado = TraduzirBlocoPadrao(Tag, Conteudo);
  if (LogAtivo()) RegistrarLog("TraduzirTagBloco(" + Tag + ", " + Conteudo + ") -> " + Resultado, true, true);
}

std::string TPosPrinter::ImprimirImagem(const std::string& Conteudo) {
  const std::string t = Trim(Conteudo);
  switch (FormaConteudoBMP(t)) {
    case TFormaConteudoBMP::fcVazio: return {};
    case TFormaConteudoBMP::fcTextoBinario: {
      const TRasterImagem img = TextoBinarioParaRaster(DividirLinhas(t));
      if (img.Raster.empty() || img.Largura <= 0 || img.Altura <= 0) return {};
      return conjuntoComandos_->MontarImagemRaster(img.Raster, img.Largura, img.Altura);
    }
    case TFormaConteudoBMP::fcBase64: return conjuntoComandos_->MontarImagemStream(DecodificarBase64(t));
    case TFormaConteudoBMP::fcArquivo: return conjuntoComandos_->MontarImagemArquivo(t);
  }
  return {};
}

}  // namespace bilhetor
