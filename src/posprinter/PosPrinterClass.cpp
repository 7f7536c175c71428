#include "posprinter/PosPrinterClass.h"

#include <filesystem>
#include <system_error>

#include "common/Strings.h"
#include "posprinter/PosImage.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

TPosPrinterClass::TPosPrinterClass(TPosPrinter& impressora) : impressora_(&impressora) {}

TPosPrinterClass::~TPosPrinterClass() = default;

std::string TPosPrinterClass::MontarBloco(const std::string& /*Tag*/, const std::string& Conteudo) {
  return Conteudo;
}

// Without a barcode command the code is printed as text.
std::string TPosPrinterClass::MontarCodigoBarras(const std::string& /*Tag*/, const std::string& Codigo) {
  return Codigo;
}

std::string TPosPrinterClass::MontarQRCode(const std::string& /*Codigo*/) { return {}; }

std::string TPosPrinterClass::MontarEspacoLinhas(uint8_t Espacos) {
  if (Espacos == 0) return Comandos.EspacamentoPadrao;
  if (Comandos.PrefixoEspacamento.empty()) return {};
  std::string r = Comandos.PrefixoEspacamento;
  r.push_back(static_cast<char>(Espacos));
  return r;
}

std::string TPosPrinterClass::MontarPaginaCodigo(TPosPaginaCodigo /*Pagina*/) { return {}; }

std::string TPosPrinterClass::MontarGaveta(int /*Gaveta*/) { return {}; }

// Line spacing first, then the code page.
std::string TPosPrinterClass::MontarInicializacao() {
  return MontarEspacoLinhas(Impressora().EspacoEntreLinhas()) + MontarPaginaCodigo(Impressora().PaginaDeCodigo());
}

// The blank before each feed makes every fed line a printed (blank) line.
std::string TPosPrinterClass::MontarPuloLinhas(int Linhas) {
  std::string r;
  if (Linhas <= 0) return r;
  const std::string linha = " " + Comandos.AvancoLinha;
  r.reserve(linha.size() * static_cast<std::size_t>(Linhas));
  for (int i = 0; i < Linhas; ++i) r += linha;
  return r;
}

std::string TPosPrinterClass::MontarFonte(TPosAtributoFonte Atributo, bool Ligar) {
  const TPosComandos& c = Comandos;
  switch (Atributo) {
    case TPosAtributoFonte::afNormal: return {};
    case TPosAtributoFonte::afCondensado: return Ligar ? c.InicioCondensado : c.FimCondensado;
    case TPosAtributoFonte::afExpandido: return Ligar ? c.InicioExpandido : c.FimExpandido;
    case TPosAtributoFonte::afNegrito: return Ligar ? c.InicioNegrito : c.FimNegrito;
    case TPosAtributoFonte::afSublinhado: return Ligar ? c.InicioSublinhado : c.FimSublinhado;
    case TPosAtributoFonte::afInvertido: return Ligar ? c.InicioInvertido : c.FimInvertido;
    case TPosAtributoFonte::afItalico: return Ligar ? c.InicioItalico : c.FimItalico;
    case TPosAtributoFonte::afFonteB: return Ligar ? c.SelecionaFonteB : c.SelecionaFonteA;
    case TPosAtributoFonte::afAlturaDupla: return Ligar ? c.InicioAlturaDupla : c.FimAlturaDupla;
  }
  return {};
}

std::string TPosPrinterClass::MontarModoPagina() { return {}; }

void TPosPrinterClass::AposAtivar() {}

void TPosPrinterClass::ConsultarStatus(TPosStatus& /*Status*/) {}

std::string TPosPrinterClass::ConsultarInfo() { return {}; }

std::string TPosPrinterClass::MontarImagemRaster(const std::string& /*Raster*/, int /*Largura*/, int /*Altura*/) {
  return {};
}

std::string TPosPrinterClass::MontarLogo() { return {}; }

std::string TPosPrinterClass::MontarGravacaoLogo(const std::string& /*Raster*/, int /*Largura*/, int /*Altura*/) {
  return {};
}

std::string TPosPrinterClass::MontarApagaLogo() { return {}; }

std::string TPosPrinterClass::MontarImagemArquivo(const std::string& Caminho) {
  const std::string caminho = Trim(Caminho);
  std::error_code ec;
  const auto estado = std::filesystem::status(caminho, ec);
  // Only a name that leads nowhere is refused here; what a name leads to is
  // checked where the file is read (LerArquivoImagem).
  if (caminho.empty() || ec || !std::filesystem::exists(estado))
    throw EPosPrinterException(Format("Arquivo: %s n\xE3o encontrado", caminho.c_str()));
  const TRasterImagem img = ImagemArquivoParaRaster(caminho);
  return MontarImagemRaster(img.Raster, img.Largura, img.Altura);
}

std::string TPosPrinterClass::MontarImagemStream(const std::string& Stream) {
  const TRasterImagem img = LerBMPMonoPelaPaleta(Stream);
  return MontarImagemRaster(img.Raster, img.Largura, img.Altura);
}

}  // namespace bilhetor
