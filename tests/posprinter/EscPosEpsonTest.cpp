// The Epson command set driven by an engine's configuration and font state.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "posprinter/EscPosEpson.h"
#include "posprinter/PosPrinter.h"
#include "support/EscPosBytes.h"

namespace bilhetor {
namespace {

using testing_bytes::H;
using testing_bytes::Hex;

class EscPosEpsonTest : public ::testing::Test {
 protected:
  EscPosEpsonTest() { impressora.SetModelo(TPosPrinterModelo::ppEscPosEpson); }

  TEscPosEpson& Epson() { return dynamic_cast<TEscPosEpson&>(impressora.ConjuntoComandos()); }

  // The bytes a tag translates to, with the engine's font state updated.
  std::string Tag(const std::string& tag) {
    std::string r;
    impressora.TraduzirTag(tag, r);
    return Hex(r);
  }

  TPosPrinter impressora;
};

TEST_F(EscPosEpsonTest, TheModelTableServesEpsonWithItsFixedSequences) {
  EXPECT_EQ(Epson().NomeModelo, "EscPosEpson");
  ASSERT_EQ(Epson().TagsSemSuporte.size(), 1u);
  EXPECT_EQ(Epson().TagsSemSuporte[0], "<msi>");
  const TPosComandos& c = Epson().Comandos;
  EXPECT_EQ(c.Bip, H("1B 28 41 05 00 61 64 01 32 32"));
  EXPECT_EQ(c.AlinhaCentro, H("1B 61 01"));
  EXPECT_EQ(c.AlinhaDireita, H("1B 61 02"));
  EXPECT_EQ(c.AlinhaEsquerda, H("1B 61 00"));
  EXPECT_EQ(c.CortaParcial, H("1D 56 01"));
  EXPECT_EQ(c.FimAlturaDupla, H("1D 21 00"));
  EXPECT_EQ(c.FimInvertido, H("1D 42 00"));
  EXPECT_EQ(c.FimModoPagina, H("1B 53"));
  EXPECT_EQ(c.EspacamentoPadrao, H("1B 32"));
  EXPECT_EQ(c.DescarregaPagina, H("1B 0C"));
  EXPECT_EQ(c.InicioAlturaDupla, H("1D 21 01"));
  EXPECT_EQ(c.InicioInvertido, H("1D 42 01"));
  EXPECT_EQ(c.RestauraFonte, H("1B 21 00"));
  EXPECT_EQ(c.InicioCondensado, H("0F"));
  EXPECT_EQ(c.CortaTotal, H("1D 56 00"));
  EXPECT_EQ(c.PrefixoEspacamento, H("1B 33"));
  EXPECT_EQ(c.InicioExpandido, H("1D 21 10"));
  EXPECT_EQ(c.FimCondensado, H("12"));
  EXPECT_EQ(c.FimExpandido, H("1D 21 00"));
  EXPECT_EQ(c.FimItalico, H("1B 35"));
  EXPECT_EQ(c.FimNegrito, H("1B 45 00"));
  EXPECT_EQ(c.FimSublinhado, H("1B 2D 00"));
  EXPECT_EQ(c.SelecionaFonteA, H("1B 4D 00"));
  EXPECT_EQ(c.SelecionaFonteB, H("1B 4D 01"));
  EXPECT_EQ(c.InicioItalico, H("1B 34"));
  EXPECT_EQ(c.InicioModoPagina, H("1B 4C"));
  EXPECT_EQ(c.InicioNegrito, H("1B 45 01"));
  EXPECT_EQ(c.InicioSublinhado, H("1B 2D 01"));
  EXPECT_EQ(c.AvancoLinha, H("0A"));
  EXPECT_EQ(c.Reinicializa, H("1B 40"));
}

TEST_F(EscPosEpsonTest, LineSpacingAndInitialization) {
  EXPECT_EQ(Epson().MontarEspacoLinhas(0), H("1B 32"));
  EXPECT_EQ(Epson().MontarEspacoLinhas(30), H("1B 33 1E"));
  // Spacing first, then the code page (pc850 by default).
  EXPECT_EQ(Epson().MontarInicializacao(), H("1B 32 1B 74 02"));
  impressora.SetEspacoEntreLinhas(40);
  impressora.SetPaginaDeCodigo(TPosPaginaCodigo::pcUTF8);
  EXPECT_EQ(Epson().MontarInicializacao(), H("1B 33 28"));
}

TEST_F(EscPosEpsonTest, FontTagsCombineIntoOnePrintMode) {
  EXPECT_EQ(Tag("<n>"), "1B 21 08");
  EXPECT_EQ(Tag("<e>"), "1B 21 28");
  EXPECT_EQ(Tag("</n>"), "1B 21 20");
  EXPECT_EQ(Tag("<a>"), "1B 21 30");
  EXPECT_EQ(Tag("<s>"), "1B 21 B0");
  EXPECT_EQ(Tag("</e>"), "1B 21 90");
  EXPECT_EQ(Tag("</a>"), "1B 21 80");
  EXPECT_EQ(Tag("</s>"), "1B 21 00");
}

TEST_F(EscPosEpsonTest, CombinedModeRepeatsInvertedAndItalic) {
  // "</c>" while condensed and bold are in force.
  Tag("<c>");
  Tag("<n>");
  EXPECT_EQ(Tag("</c>"), "1B 21 08");
  Tag("</n>");
  // "<c>" while white-on-black is in force.
  EXPECT_EQ(Tag("<in>"), "1D 42 01");
  EXPECT_EQ(Tag("<c>"), "1B 21 01 1D 42 01");
  EXPECT_EQ(Tag("<i>"), "1B 34");
  EXPECT_EQ(Tag("<n>"), "1B 21 09 1D 42 01 1B 34");
  EXPECT_EQ(Tag("</in>"), "1D 42 00");
  EXPECT_EQ(Tag("</n>"), "1B 21 01 1B 34");
  // Font B and its way back are single commands.
  EXPECT_EQ(Tag("</fb>"), "1B 4D 01");
  EXPECT_EQ(Tag("</fa>"), "1B 4D 00");
  EXPECT_EQ(Epson().MontarFonte(TPosAtributoFonte::afNormal, true), "");
}

// ESC ! n selects the font with bit 0: while font B is in force every
// combined print mode keeps that bit, or the printer would fall back to font
// A behind the engine's back.
TEST_F(EscPosEpsonTest, CombinedPrintModeKeepsFontB) {
  const struct {
    const char* tag;
    const char* bytes;
  } passos[] = {
      {"</fb>", "1B 4D 01"}, {"<n>", "1B 21 09"}, {"<e>", "1B 21 29"},  {"<s>", "1B 21 A9"},
      {"<a>", "1B 21 B9"},   {"<c>", "1B 21 B9"}, {"</c>", "1B 21 B9"}, {"</n>", "1B 21 B1"},
      {"</e>", "1B 21 91"},  {"</s>", "1B 21 11"}, {"</a>", "1B 21 01"},
      // Back to font A: the print mode no longer selects font B.
      {"</fa>", "1B 4D 00"}, {"<n>", "1B 21 08"}, {"<c>", "1B 21 09"},  {"</c>", "1B 21 08"},
  };
  for (const auto& p : passos) EXPECT_EQ(Tag(p.tag), p.bytes) << p.tag;
}

TEST_F(EscPosEpsonTest, BarcodesReadTheBarSettings) {
  EXPECT_EQ(Hex(Epson().MontarCodigoBarras("<code128c>", "12345")),
            Hex(H("1D 77 02 1D 68 32 1D 48 00 1D 6B 49 05") + "{C" + H("01 17 2D")));
  impressora.ConfigBarras().LarguraLinha = 9;
  impressora.ConfigBarras().Altura = 300;
  impressora.ConfigBarras().MostrarCodigo = true;
  EXPECT_EQ(Hex(Epson().MontarCodigoBarras("<ean13>", "789012345678")),
            Hex(H("1D 77 04 1D 68 FF 1D 48 02 1D 6B 43 0C") + "789012345678"));
  EXPECT_EQ(Epson().MontarCodigoBarras("<code11>", "123"), "123");
  EXPECT_THROW(Epson().MontarCodigoBarras("<code128>", std::string(254, 'x')), EPosPrinterException);
}

TEST_F(EscPosEpsonTest, QRCodeReadsItsSettings) {
  impressora.ConfigQRCode().SetTipo(1);
  impressora.ConfigQRCode().SetLarguraModulo(99);  // clamped to 16
  impressora.ConfigQRCode().SetErrorLevel(2);
  EXPECT_EQ(Hex(Epson().MontarQRCode("https://x")),
            Hex(H("1D 28 6B 04 00 31 41 31 00 1D 28 6B 03 00 31 43 10 1D 28 6B 03 00 31 45 32"
                  " 1D 28 6B 0C 00 31 50 30") +
                "https://x" + H("1D 28 6B 03 00 31 51 30")));
}

TEST_F(EscPosEpsonTest, DrawerCodePageAndPageMode) {
  EXPECT_EQ(Hex(Epson().MontarGaveta(1)), "1B 70 00 32 C8");
  EXPECT_EQ(Hex(Epson().MontarGaveta(0)), "1B 70 00 32 C8");
  impressora.ConfigGaveta().TempoON = 20;
  impressora.ConfigGaveta().TempoOFF = 100;
  impressora.ConfigGaveta().SinalInvertido = true;  // does not change the command
  EXPECT_EQ(Hex(Epson().MontarGaveta(2)), "1B 70 01 14 64");
  EXPECT_EQ(Hex(Epson().MontarGaveta(5)), "1B 70 01 14 64");

  EXPECT_EQ(Hex(Epson().MontarPaginaCodigo(TPosPaginaCodigo::pc1252)), "1B 74 10");
  EXPECT_EQ(Epson().MontarPaginaCodigo(TPosPaginaCodigo::pcNone), "");

  TConfigModoPagina& mp = impressora.ConfigModoPagina();
  EXPECT_EQ(Hex(Epson().MontarModoPagina()), "1B 54 00 1B 32 1B 57 00 00 00 00 00 00 00 00");
  mp.Direcao = TPosDirecao::dirTopoParaBaixo;
  mp.EspacoEntreLinhas = 16;
  mp.Esquerda = 8;
  mp.Topo = 300;
  mp.Largura = 512;
  mp.Altura = 1000;
  EXPECT_EQ(Hex(Epson().MontarModoPagina()), "1B 54 03 1B 33 10 1B 57 08 00 2C 01 00 02 E8 03");
  mp.Largura = 70000;
  EXPECT_THROW(Epson().MontarModoPagina(), EPosPrinterException);
}

TEST_F(EscPosEpsonTest, LogoInBothForms) {
  TConfigLogo& logo = impressora.ConfigLogo();
  EXPECT_EQ(Hex(Epson().MontarLogo()), "1D 28 4C 06 00 30 45 20 20 01 01");
  EXPECT_EQ(Hex(Epson().MontarApagaLogo()), "1D 28 4C 04 00 30 42 20 20");
  logo.KeyCode2 = 0;
  logo.KeyCode1 = '1';
  EXPECT_EQ(Hex(Epson().MontarLogo()), "1C 70 01 00");
  logo.FatorX = 2;
  logo.FatorY = 2;
  EXPECT_EQ(Hex(Epson().MontarLogo()), "1C 70 01 03");
  EXPECT_EQ(Hex(Epson().MontarApagaLogo()), "1C 71 01 01 00 01 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(Hex(Epson().MontarGravacaoLogo(H("80"), 1, 1)), "1C 71 01 01 00 01 00 80 00 00 00 00 00 00 00");
  // The legacy form prints any position (KeyCode1 2) but stores only position 1.
  logo.KeyCode1 = 2;
  EXPECT_EQ(Hex(Epson().MontarLogo()), "1C 70 02 03");
  const std::string legado =
      "PosPrinter gravando Logo em modo Legado (FS q), somente aceita a posi\xE7\xE3o \"1\"";
  try {
    Epson().MontarGravacaoLogo(H("80"), 1, 1);
    FAIL();
  } catch (const EPosPrinterException& e) {
    EXPECT_EQ(e.Message(), legado);
  }
  try {
    Epson().MontarApagaLogo();
    FAIL();
  } catch (const EPosPrinterException& e) {
    EXPECT_EQ(e.Message(), legado);
  }
}

TEST_F(EscPosEpsonTest, KeyCodesAreCheckedBeforeAnyLogoCommand) {
  TConfigLogo& logo = impressora.ConfigLogo();
  auto mensagem = [](auto&& f) {
    try {
      f();
    } catch (const EPosPrinterException& e) {
      return e.Message();
    }
    return std::string("no exception");
  };
  logo.KeyCode1 = 31;
  logo.KeyCode2 = 127;
  EXPECT_EQ(mensagem([&] { Epson().MontarLogo(); }), "KeyCode1 deve estar entre 32 a 126");
  EXPECT_EQ(mensagem([&] { Epson().MontarApagaLogo(); }), "KeyCode1 deve estar entre 32 a 126");
  // Checked before the raster, which is wrong here too.
  EXPECT_EQ(mensagem([&] { Epson().MontarGravacaoLogo("", 0, 0); }), "KeyCode1 deve estar entre 32 a 126");
  logo.KeyCode1 = 126;
  EXPECT_EQ(mensagem([&] { Epson().MontarLogo(); }), "KeyCode2 deve estar entre 32 a 126");
  logo.KeyCode2 = 32;
  EXPECT_NO_THROW(Epson().ValidarPosicaoLogo());
  EXPECT_EQ(Hex(Epson().MontarGravacaoLogo(H("FF"), 8, 1)),
            "1D 38 4C 0D 00 00 00 30 43 30 7E 20 01 08 00 01 00 31 FF 01");
}

TEST_F(EscPosEpsonTest, RasterImageInBothForms) {
  const std::string raster = H("C0");  // 2 x 1 dots
  // Graphics form (KeyCode2 not 0).
  EXPECT_EQ(Hex(Epson().MontarImagemRaster(raster, 2, 1)),
            "1D 38 4C 0B 00 00 00 30 70 30 01 01 31 02 00 01 00 C0 1D 28 4C 02 00 30 32");
  // Column form: spacing 16, the bands, the engine's spacing back.
  impressora.ConfigLogo().KeyCode2 = 0;
  const std::string bandas = escpos::BandasColunas24(raster, 2, 1);
  EXPECT_EQ(Hex(Epson().MontarImagemRaster(raster, 2, 1)), Hex(H("1B 33 10") + bandas + H("1B 32")));
  impressora.SetEspacoEntreLinhas(40);
  EXPECT_EQ(Hex(Epson().MontarImagemRaster(raster, 2, 1)), Hex(H("1B 33 10") + bandas + H("1B 33 28")));
  EXPECT_EQ(bandas.substr(0, 8), H("1B 2A 21 08 00 80 00 00"));
}

}  // namespace
}  // namespace bilhetor

#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing_bytes::H;
using testing_bytes::Hex;

TEST(EscPosEpsonPrint, TaggedTextReachesTheFileAsEpsonBytes) {
  testing::TempDir dir;
  const std::string arquivo = dir / "ticket.txt";
  TPosPrinter impressora;
  impressora.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  impressora.SetPorta(arquivo);
  impressora.Ativar();
  impressora.Buffer().Add("</ce><n>PEDIDO</n>");
  impressora.Buffer().Add("<code128c>12345</code128c></abre_gaveta>");
  impressora.Imprimir();
  impressora.Desativar();
  EXPECT_EQ(Hex(testing::ReadFile(arquivo)),
            Hex(H("1B 32 1B 74 02") + H("1B 61 01 1B 21 08") + "PEDIDO" + H("1B 21 00 0A") +
                H("1D 77 02 1D 68 32 1D 48 00 1D 6B 49 05") + "{C" + H("01 17 2D") + H("1B 70 00 32 C8 0A")));
}

TEST(EscPosEpsonPrint, TextPictureInTheColumnForm) {
  testing::TempDir dir;
  const std::string arquivo = dir / "imagem.txt";
  TPosPrinter impressora;
  impressora.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  impressora.ConfigLogo().KeyCode2 = 0;
  impressora.SetPorta(arquivo);
  impressora.Ativar();
  // Lines of 10 dots, so that the first 10 characters are all 0 and 1.
  impressora.Imprimir("<bmp>1100000000\n0011000000</bmp>");
  impressora.Desativar();
  EXPECT_EQ(Hex(testing::ReadFile(arquivo)),
            Hex(H("1B 32 1B 74 02") + H("1B 33 10 1B 2A 21 10 00 80 00 00 80 00 00 40 00 00 40 00 00") +
                std::string(36, '\0') + H("0A 1B 32")));
}

}  // namespace
}  // namespace bilhetor
