#pragma once
// The command-set base: the fixed byte sequences of a printer model
// (TPosComandos), the column ratios of its fonts and the virtual Montar
// operations that build the sequences with parameters. TPosPrinterClass is
// also, unchanged, the command set of the plain-text model, which sends no
// escape sequences at all. Command sets only build byte strings; the engine
// sends them.
#include <string>
#include <vector>

#include "posprinter/PosTypes.h"

namespace bilhetor {

class TPosPrinter;

// The 30 fixed sequences of a model, in their declared order. All empty after
// construction except AvancoLinha (CR LF). An empty field means the model has
// no such command and the engine sends nothing for it.
struct TPosComandos {
  std::string Bip;
  std::string AlinhaCentro;
  std::string AlinhaDireita;
  std::string AlinhaEsquerda;
  std::string CortaParcial;
  std::string FimAlturaDupla;
  std::string FimInvertido;
  std::string FimModoPagina;
  std::string EspacamentoPadrao;
  std::string DescarregaPagina;
  std::string InicioAlturaDupla;
  std::string InicioInvertido;
  std::string RestauraFonte;
  std::string InicioCondensado;
  std::string CortaTotal;
  std::string PrefixoEspacamento;  // the spacing value follows as one byte
  std::string InicioExpandido;
  std::string FimCondensado;
  std::string FimExpandido;
  std::string FimItalico;
  std::string FimNegrito;
  std::string FimSublinhado;
  std::string SelecionaFonteA;
  std::string SelecionaFonteB;
  std::string InicioItalico;
  std::string InicioModoPagina;
  std::string InicioNegrito;
  std::string InicioSublinhado;
  std::string AvancoLinha = "\r\n";
  std::string Reinicializa;
};

// Column ratios: condensed lines hold ColunasFonteNormal / Condensada
// characters, expanded ones ColunasFonteNormal / Expandida.
struct TPosRazaoColunaFonte {
  double Condensada = 0.75;
  double Expandida = 2.0;
};

class TPosPrinterClass {
 public:
  explicit TPosPrinterClass(TPosPrinter& impressora);
  virtual ~TPosPrinterClass();
  TPosPrinterClass(const TPosPrinterClass&) = delete;
  TPosPrinterClass& operator=(const TPosPrinterClass&) = delete;

  TPosComandos Comandos;
  TPosRazaoColunaFonte RazaoColunas;
  // Tags (as registered, e.g. "<msi>") the model cannot print. Informative
  // only: the engine does not consult it.
  std::vector<std::string> TagsSemSuporte;
  std::string NomeModelo = "Texto";

  TPosPrinter& Impressora() const { return *impressora_; }

  // The operations, in slot order.
  virtual std::string MontarBloco(const std::string& Tag, const std::string& Conteudo);
  virtual std::string MontarCodigoBarras(const std::string& Tag, const std::string& Codigo);
  virtual std::string MontarQRCode(const std::string& Codigo);
  virtual std::string MontarEspacoLinhas(uint8_t Espacos);
  virtual std::string MontarPaginaCodigo(TPosPaginaCodigo Pagina);
  virtual std::string MontarGaveta(int Gaveta);
  virtual std::string MontarInicializacao();
  virtual std::string MontarPuloLinhas(int Linhas);
  virtual std::string MontarFonte(TPosAtributoFonte Atributo, bool Ligar);
  virtual std::string MontarModoPagina();
  virtual void AposAtivar();
  virtual void ConsultarStatus(TPosStatus& Status);
  virtual std::string ConsultarInfo();
  virtual std::string MontarImagemRaster(const std::string& Raster, int Largura, int Altura);
  virtual std::string MontarLogo();
  virtual std::string MontarGravacaoLogo(const std::string& Raster, int Largura, int Altura);
  virtual std::string MontarApagaLogo();

  // The "<bmp>" forms that are not a raster yet. MontarImagemArquivo loads the
  // image file at Caminho: EPosPrinterException "Arquivo: <Caminho> não
  // encontrado" when nothing is there, EInvalidGraphic when it is not a
  // regular file of at most kTamanhoMaximoArquivoImagem bytes or not a bitmap.
  // MontarImagemStream reads the bytes of a monochrome BMP. Both print a 1-bit
  // picture's darker palette colour and end in MontarImagemRaster.
  std::string MontarImagemArquivo(const std::string& Caminho);
  std::string MontarImagemStream(const std::string& Stream);

 private:
  TPosPrinter* impressora_;
};

}  // namespace bilhetor
