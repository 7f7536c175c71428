// The command-set base, which is also the plain-text model.
#include <gtest/gtest.h>

#include <string>

#include "posprinter/PosImage.h"
#include "posprinter/PosPrinter.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

TEST(PosPrinterClass, FreshCommandSetHasOnlyTheLineFeed) {
  TPosPrinter p;
  TPosPrinterClass c(p);
  EXPECT_EQ(c.NomeModelo, "Texto");
  EXPECT_EQ(c.Comandos.AvancoLinha, "\r\n");
  EXPECT_TRUE(c.Comandos.Bip.empty());
  EXPECT_TRUE(c.Comandos.Reinicializa.empty());
  EXPECT_TRUE(c.Comandos.CortaTotal.empty());
  EXPECT_TRUE(c.TagsSemSuporte.empty());
  EXPECT_DOUBLE_EQ(c.RazaoColunas.Condensada, 0.75);
  EXPECT_DOUBLE_EQ(c.RazaoColunas.Expandida, 2.0);
  EXPECT_EQ(&c.Impressora(), &p);
}

TEST(PosPrinterClass, LineSpacing) {
  TPosPrinter p;
  TPosPrinterClass c(p);
  // 0 gives the default spacing, even when empty; another value needs a prefix.
  EXPECT_EQ(c.MontarEspacoLinhas(0), "");
  EXPECT_EQ(c.MontarEspacoLinhas(30), "");
  c.Comandos.EspacamentoPadrao = "\x1B\x32";
  c.Comandos.PrefixoEspacamento = "\x1B\x33";
  EXPECT_EQ(c.MontarEspacoLinhas(0), "\x1B\x32");
  EXPECT_EQ(c.MontarEspacoLinhas(30), "\x1B\x33\x1E");
  EXPECT_EQ(c.MontarEspacoLinhas(255), "\x1B\x33\xFF");
}

TEST(PosPrinterClass, InitializationIsSpacingThenCodePage) {
  class ComPagina : public TPosPrinterClass {
   public:
    using TPosPrinterClass::TPosPrinterClass;
    std::string MontarPaginaCodigo(TPosPaginaCodigo pg) override {
      return "P" + std::to_string(static_cast<int>(pg));
    }
  };
  TPosPrinter p;
  ComPagina c(p);
  c.Comandos.PrefixoEspacamento = "S";
  c.Comandos.EspacamentoPadrao = "D";
  EXPECT_EQ(c.MontarInicializacao(), "DP2");
  p.SetEspacoEntreLinhas(65);
  p.SetPaginaDeCodigo(TPosPaginaCodigo::pc1252);
  EXPECT_EQ(c.MontarInicializacao(), "SAP6");
  // The base has neither.
  TPosPrinterClass base(p);
  EXPECT_EQ(base.MontarInicializacao(), "");
}

TEST(PosPrinterClass, LineFeedsPrintABlankPerLine) {
  TPosPrinter p;
  TPosPrinterClass c(p);
  EXPECT_EQ(c.MontarPuloLinhas(3), " \r\n \r\n \r\n");
  EXPECT_EQ(c.MontarPuloLinhas(0), "");
  EXPECT_EQ(c.MontarPuloLinhas(-2), "");
  c.Comandos.AvancoLinha = "\n";
  EXPECT_EQ(c.MontarPuloLinhas(2), " \n \n");
}

TEST(PosPrinterClass, FontAttributesMapToTheirOnAndOffFields) {
  TPosPrinter p;
  TPosPrinterClass c(p);
  TPosComandos& k = c.Comandos;
  k.InicioCondensado = "c+";
  k.FimCondensado = "c-";
  k.InicioExpandido = "e+";
  k.FimExpandido = "e-";
  k.InicioNegrito = "n+";
  k.FimNegrito = "n-";
  k.InicioSublinhado = "s+";
  k.FimSublinhado = "s-";
  k.InicioInvertido = "i+";
  k.FimInvertido = "i-";
  k.InicioItalico = "t+";
  k.FimItalico = "t-";
  k.SelecionaFonteB = "fb";
  k.SelecionaFonteA = "fa";
  k.InicioAlturaDupla = "a+";
  k.FimAlturaDupla = "a-";
  using A = TPosAtributoFonte;
  const struct {
    A a;
    const char* on;
    const char* off;
  } casos[] = {{A::afCondensado, "c+", "c-"}, {A::afExpandido, "e+", "e-"},   {A::afNegrito, "n+", "n-"},
               {A::afSublinhado, "s+", "s-"}, {A::afInvertido, "i+", "i-"},   {A::afItalico, "t+", "t-"},
               {A::afFonteB, "fb", "fa"},     {A::afAlturaDupla, "a+", "a-"}, {A::afNormal, "", ""}};
  for (const auto& caso : casos) {
    EXPECT_EQ(c.MontarFonte(caso.a, true), caso.on) << static_cast<int>(caso.a);
    EXPECT_EQ(c.MontarFonte(caso.a, false), caso.off) << static_cast<int>(caso.a);
  }
}

TEST(PosPrinterClass, PlainTextOperationsBuildNothingButTextAndBlocks) {
  TPosPrinter p;
  TPosPrinterClass c(p);
  EXPECT_EQ(c.MontarBloco("<ce>", "abc"), "abc");
  EXPECT_EQ(c.MontarCodigoBarras("<ean13>", "789"), "789");
  EXPECT_EQ(c.MontarQRCode("x"), "");
  EXPECT_EQ(c.MontarGaveta(2), "");
  EXPECT_EQ(c.MontarPaginaCodigo(TPosPaginaCodigo::pc850), "");
  EXPECT_EQ(c.MontarModoPagina(), "");
  EXPECT_EQ(c.MontarLogo(), "");
  EXPECT_EQ(c.MontarImagemRaster("\xFF", 8, 1), "");
  EXPECT_EQ(c.MontarGravacaoLogo("\xFF", 8, 1), "");
  EXPECT_EQ(c.MontarApagaLogo(), "");
  EXPECT_EQ(c.ConsultarInfo(), "");
  TPosStatus st;
  st.Incluir(TPosTipoStatus::stPoucoPapel);
  c.ConsultarStatus(st);
  EXPECT_EQ(st.Bits(), 1u << 2);  // left as passed
}

TEST(PosPrinterClass, ImageFileMustExist) {
  testing::TempDir dir;
  TPosPrinter p;
  TPosPrinterClass c(p);
  try {
    c.MontarImagemArquivo("  " + dir / "x.bmp" + " ");
    FAIL();
  } catch (const EPosPrinterException& e) {
    EXPECT_EQ(e.Message(), "Arquivo: " + dir / "x.bmp" + " n\xE3o encontrado");
  }
  // A folder is not an image file.
  EXPECT_THROW(c.MontarImagemArquivo(dir.Path().string()), EInvalidGraphic);
  // A file that is not a bitmap fails in the loader.
  testing::WriteFile(dir / "texto.bmp", "isto nao e um bitmap");
  EXPECT_ANY_THROW(c.MontarImagemArquivo(dir / "texto.bmp"));
  EXPECT_THROW(c.MontarImagemStream("nada"), EPosImage);
}

TEST(PosPrinterClass, ColumnsFollowTheRatiosOfTheCommandSet) {
  TPosPrinter p([](TPosPrinterModelo, TPosPrinter& e) -> std::unique_ptr<TPosPrinterClass> {
    auto c = std::make_unique<TPosPrinterClass>(e);
    c->RazaoColunas.Condensada = 0;  // a broken ratio must not divide by zero
    c->RazaoColunas.Expandida = 3;
    return c;
  });
  p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  EXPECT_EQ(p.ColunasAtuais(), 48);
  EXPECT_EQ(p.ColunasAtuais(), 48);
  std::string r;
  p.TraduzirTag("<e>", r);
  EXPECT_EQ(p.ColunasAtuais(), 16);
  p.TraduzirTag("<c>", r);
  EXPECT_EQ(p.ColunasAtuais(), 48);
}

}  // namespace
}  // namespace bilhetor
