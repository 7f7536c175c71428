// What the tags of the language turn into, with the plain-text model and with
// a command set of readable markers, and the engine state they change.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "posprinter/PosImage.h"
#include "posprinter/PosPrinter.h"
#include "posprinter/TagProcessor.h"
#include "PosTranslationTest.h"
#include "support/EngineTestCommandSet.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing::FabricaTeste;
using testing::TTestComandos;

std::string Traduzir(TPosPrinter& p, const std::string& texto) { return p.TagProcessor().ProcessarTags(texto); }

// An engine with the marker command set in place.
struct MotorTeste {
  TPosPrinter p{FabricaTeste};
  MotorTeste() { p.SetModelo(TPosPrinterModelo::ppEscPosEpson); }
  TTestComandos& cc() { return dynamic_cast<TTestComandos&>(p.ConjuntoComandos()); }
  std::string operator()(const std::string& t) { return Traduzir(p, t); }
};

// A 1-bit BMP, bottom-up, with the given rows (top to bottom) of 8 dots and
// the palette black, white (so a 0 bit is a printed dot), or the palette
// given as 0x00RRGGBB colours.
std::string BmpMono8(const std::vector<uint8_t>& linhasTopoParaBaixo, uint32_t cor0 = 0x000000,
                     uint32_t cor1 = 0xFFFFFF) {
  const int h = static_cast<int>(linhasTopoParaBaixo.size());
  const int stride = 4;
  const int offset = 14 + 40 + 8;
  const int tamanho = stride * h;
  std::string b(static_cast<std::size_t>(offset + tamanho), '\0');
  auto le32 = [&](int pos, int v) {
    for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(pos + i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  b[0] = 'B';
  b[1] = 'M';
  le32(2, offset + tamanho);
  le32(10, offset);
  le32(14, 40);
  le32(18, 8);
  le32(22, h);
  b[26] = 1;  // planes
  b[28] = 1;  // bits per pixel
  le32(34, tamanho);
  le32(54, static_cast<int>(cor0));
  le32(58, static_cast<int>(cor1));
  for (int y = 0; y < h; ++y)
    b[static_cast<std::size_t>(offset + stride * (h - 1 - y))] = static_cast<char>(linhasTopoParaBaixo[y]);
  return b;
}

TEST(TagTranslationPlainText, FontAlignmentCutBeepAndPageModeTagsYieldNothing) {
  TPosPrinter p;
  EXPECT_EQ(Traduzir(p, "<e>a</e><a>b</a><n>c</n><s>d</s><c>e</c><i>f</i></fn><in>g</in></fa></fb>"), "abcdefg");
  EXPECT_EQ(Traduzir(p, "</ae>x</ce>y</ad>z</corte></corte_total></corte_parcial></beep></abre_gaveta>"), "xyz");
  EXPECT_EQ(Traduzir(p, "<mp>1</mp_configurar>2</mp_imprimir>3</mp></logo></reset>"), "123");
  EXPECT_EQ(Traduzir(p, "<qrcode>http://x</qrcode>|<bmp>1111111100000000</bmp>|"), "||");
  // A line feed is CR LF, preceded by a blank so the line prints.
  EXPECT_EQ(Traduzir(p, "</lf>"), " \r\n");
  EXPECT_EQ(Traduzir(p, "</cr>"), "\r");
  // </zera> gives the reset (empty) and the initialization (empty here).
  EXPECT_EQ(Traduzir(p, "a</zera>b"), "ab");
}

TEST(TagTranslationPlainText, BarcodesPrintTheirCleanedCodeAsText) {
  TPosPrinter p;
  EXPECT_EQ(Traduzir(p, "<ean13>789-1234 5678-901</ean13>"), "789123456789");
  EXPECT_EQ(Traduzir(p, "<ean8>12</ean8>"), "0000012");
  EXPECT_EQ(Traduzir(p, "<inter>12345</inter>"), "012345");
  EXPECT_EQ(Traduzir(p, "<code39>Pedido 57</code39>"), "P 57");
  EXPECT_EQ(Traduzir(p, "<CODE39>ab$%*+-./Z9</CODE39>"), "$%*+-./Z9");
  EXPECT_EQ(Traduzir(p, "<upca>123456789012345</upca>"), "12345678901");
  EXPECT_EQ(Traduzir(p, "<upca>1</upca>"), "00000000001");
  EXPECT_EQ(Traduzir(p, "<upce>a1b2</upce><code128c>x12y34</code128c><std>1-2</std><code11>9.9</code11>"
                        "<msi>4 4</msi>"),
            "1212341299" "44");
  EXPECT_EQ(Traduzir(p, "<codabar>A12:b$E-e+x.d/</codabar>"), "A12:b$-+.d/");
  EXPECT_EQ(Traduzir(p, "<code128>aB c{</code128><code128a>x y</code128a><code128b>#</code128b>"), "aB c{x y#");
  EXPECT_EQ(Traduzir(p, "<code93>a\xC3\xA9" "b</code93>"), "ab");
  // Codes are cut to 255 characters.
  EXPECT_EQ(Traduzir(p, "<std>" + std::string(300, '7') + "</std>"), std::string(255, '7'));
}

TEST(TagTranslationPlainText, RulesFollowTheColumnsOfTheFontInForce) {
  TPosPrinter p;
  EXPECT_EQ(Traduzir(p, "</linha_simples>"), std::string(48, '-'));
  EXPECT_EQ(Traduzir(p, "</linha_dupla>"), std::string(48, '='));
  EXPECT_EQ(Traduzir(p, "<e></linha_simples>"), std::string(24, '-'));
  EXPECT_EQ(Traduzir(p, "<c></linha_dupla>"), std::string(64, '='));  // condensed wins over expanded
  EXPECT_EQ(Traduzir(p, "</c></e></linha_simples>"), std::string(48, '-'));
  p.SetColunasFonteNormal(40);
  EXPECT_EQ(Traduzir(p, "<c></linha_simples></c>"), std::string(53, '-'));  // 40 / 0.75 truncated
  // A negative column count gives no rule rather than a failure.
  p.SetColunasFonteNormal(-5);
  EXPECT_EQ(Traduzir(p, "[</linha_simples>]"), "[]");
}

TEST(TagTranslationPlainText, AlignedBlocks) {
  TPosPrinter p;
  EXPECT_EQ(Traduzir(p, "<e><ce>ABC</ce>"), std::string(10, ' ') + "ABC" + std::string(11, ' '));
  EXPECT_EQ(Traduzir(p, "</e><ae>ABC</ae>"), "ABC" + std::string(45, ' '));
  EXPECT_EQ(Traduzir(p, "<ad>ABC</ad>"), std::string(45, ' ') + "ABC");
  const std::string cinquenta = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN";
  EXPECT_EQ(Traduzir(p, "<ad>" + cinquenta + "</ad>"), cinquenta.substr(0, 48));
  EXPECT_EQ(Traduzir(p, "<ce>" + cinquenta + "</ce>"), cinquenta.substr(0, 48));
  EXPECT_EQ(Traduzir(p, "<ce>" + std::string(48, 'x') + "</ce>"), std::string(48, 'x'));
  // An empty block is all blanks.
  EXPECT_EQ(Traduzir(p, "<ae></ae>"), std::string(48, ' '));
}

TEST(TagTranslationAlignment, HelpersPadAndCutByBytes) {
  EXPECT_EQ(CentralizarTexto("ab", 7), "  ab   ");
  EXPECT_EQ(CentralizarTexto("abc", 3), "abc");
  EXPECT_EQ(AlinharDireitaTexto("abcdef", 4), "abcd");
  EXPECT_EQ(AlinharEsquerdaTexto("abcdef", 0), "");
  EXPECT_EQ(AlinharEsquerdaTexto("abc", -3), "");
  EXPECT_EQ(CentralizarTexto("", 4), "    ");
}

TEST(TagTranslationMarkers, FontTagsSendTheirFieldAndTrackTheFontState) {
  MotorTeste m;
  auto bits = [&] { return m.p.EstadoFonte().Bits(); };
  EXPECT_EQ(bits(), 1u);  // afNormal only
  EXPECT_EQ(m("<e><a><n><s><c><i><in></fb>"), "{E+}{A+}{N+}{S+}{C+}{I+}{IN+}{FB}");
  EXPECT_EQ(bits(), 0x1FFu);
  EXPECT_EQ(m("</n></s>"), "{N-}{S-}");
  EXPECT_EQ(bits(), 0x1FFu & ~((1u << 3) | (1u << 4)));
  // </fn> clears the styles but keeps font B (and afNormal).
  EXPECT_EQ(m("</fn>"), "{FN}");
  EXPECT_EQ(bits(), (1u << 7) | 1u);
  EXPECT_EQ(m("</fa></e></a></c></i></in>"), "{FA}{E-}{A-}{C-}{I-}{IN-}");
  EXPECT_EQ(bits(), 1u);
  // The state carries from one print to the next.
  m("<n>");
  EXPECT_TRUE(m.p.EstadoFonte().Contem(TPosAtributoFonte::afNegrito));
  EXPECT_EQ(m("</reset>"), "{RST}");
  EXPECT_EQ(bits(), 1u);
}

TEST(TagTranslationMarkers, ResetAndZeraDriveTheInitializationFlag) {
  MotorTeste m;
  m.p.SetEspacoEntreLinhas(30);
  m.p.SetPaginaDeCodigo(TPosPaginaCodigo::pc860);
  EXPECT_EQ(m("<n></zera>"), "{N+}{RST}{PE}\x1e{PC4}");
  EXPECT_TRUE(m.p.InicializacaoEnviada());
  EXPECT_FALSE(m.p.EstadoFonte().Contem(TPosAtributoFonte::afNegrito));
  EXPECT_EQ(m("</reset>"), "{RST}");
  EXPECT_FALSE(m.p.InicializacaoEnviada());
}

TEST(TagTranslationMarkers, AlignmentAndPageModeState) {
  MotorTeste m;
  EXPECT_EQ(m("</ce>"), "{AC}");
  EXPECT_EQ(m.p.AlinhamentoAtual(), 1);
  EXPECT_EQ(m("</ad>"), "{AD}");
  EXPECT_EQ(m.p.AlinhamentoAtual(), 2);
  EXPECT_EQ(m("</ae>"), "{AE}");
  EXPECT_EQ(m.p.AlinhamentoAtual(), 0);
  EXPECT_EQ(m("<mp>"), "{MP+}");
  EXPECT_TRUE(m.p.ModoPaginaLigado());
  EXPECT_EQ(m("</mp_imprimir></mp_configurar>"), "{DP}{MPC}");
  EXPECT_TRUE(m.p.ModoPaginaLigado());
  EXPECT_EQ(m("</mp>"), "{DP}{MP-}");
  EXPECT_FALSE(m.p.ModoPaginaLigado());
}

TEST(TagTranslationMarkers, FeedsCutsDrawerBeepAndLogo) {
  MotorTeste m;
  EXPECT_EQ(m("</pular_linhas>"), "");
  EXPECT_EQ(m("</corte>"), "{CT}");
  m.p.SetLinhasEntreCupons(2);
  EXPECT_EQ(m("</pular_linhas>"), " \r\n \r\n");
  EXPECT_EQ(m("</corte_total>"), " \r\n \r\n{CT}");
  EXPECT_EQ(m("</corte_parcial>"), " \r\n \r\n{CP}");
  m.p.SetTipoCorte(TPosTipoCorte::ctParcial);
  EXPECT_EQ(m("</corte>"), m("</corte_parcial>"));
  m.p.SetCortaPapel(false);
  EXPECT_EQ(m("</corte>"), " \r\n \r\n");
  m.p.SetLinhasEntreCupons(0);
  EXPECT_EQ(m("</corte_total>"), "");
  EXPECT_EQ(m("</abre_gaveta></beep></lf>"), "{G1}{BIP} \r\n");
  EXPECT_EQ(m("<abre_gaveta>2</abre_gaveta><abre_gaveta>x</abre_gaveta>"), "{G2}{G1}");
  EXPECT_EQ(m("</logo>"), "{LOGO}");
  m.p.ConfigLogo().IgnorarLogo = true;
  EXPECT_EQ(m("</logo>"), "");
}

TEST(TagTranslationMarkers, ConfigurationBlocksChangeSettingsAndPrintNothing) {
  MotorTeste m;
  TPosPrinter& p = m.p;
  EXPECT_EQ(m("a<qrcode_largura>20</qrcode_largura>b"), "ab");
  EXPECT_EQ(p.ConfigQRCode().LarguraModulo(), 16);
  m("<qrcode_largura>x</qrcode_largura>");
  EXPECT_EQ(p.ConfigQRCode().LarguraModulo(), 16);
  m("<qrcode_largura>0</qrcode_largura><qrcode_error>9</qrcode_error><qrcode_tipo>1</qrcode_tipo>");
  EXPECT_EQ(p.ConfigQRCode().LarguraModulo(), 1);
  EXPECT_EQ(p.ConfigQRCode().ErrorLevel(), 3);
  EXPECT_EQ(p.ConfigQRCode().Tipo(), 1);
  m("<qrcode_error>-4</qrcode_error><qrcode_tipo>7</qrcode_tipo>");
  EXPECT_EQ(p.ConfigQRCode().ErrorLevel(), 0);
  EXPECT_EQ(p.ConfigQRCode().Tipo(), 2);

  m("<mp_direcao>2</mp_direcao><mp_esquerda>10</mp_esquerda><mp_topo>20</mp_topo>"
    "<mp_altura>300</mp_altura><mp_largura>512</mp_largura><mp_espaco>260</mp_espaco>");
  EXPECT_EQ(p.ConfigModoPagina().Direcao, TPosDirecao::dirDireitaParaEsquerda);
  EXPECT_EQ(p.ConfigModoPagina().Esquerda, 10);
  EXPECT_EQ(p.ConfigModoPagina().Topo, 20);
  EXPECT_EQ(p.ConfigModoPagina().Altura, 300);
  EXPECT_EQ(p.ConfigModoPagina().Largura, 512);
  EXPECT_EQ(p.ConfigModoPagina().EspacoEntreLinhas, 4);  // low byte of 260
  // Not a number: the direction falls back to 0, the others keep their value.
  m("<mp_direcao>abc</mp_direcao><mp_topo>abc</mp_topo><mp_espaco>?</mp_espaco>");
  EXPECT_EQ(p.ConfigModoPagina().Direcao, TPosDirecao::dirEsquerdaParaDireita);
  EXPECT_EQ(p.ConfigModoPagina().Topo, 20);
  EXPECT_EQ(p.ConfigModoPagina().EspacoEntreLinhas, 4);

  m("<barra_mostrar>1</barra_mostrar><barra_largura>3</barra_largura><barra_altura>80</barra_altura>");
  EXPECT_TRUE(p.ConfigBarras().MostrarCodigo);
  EXPECT_EQ(p.ConfigBarras().LarguraLinha, 3);
  EXPECT_EQ(p.ConfigBarras().Altura, 80);
  m("<barra_mostrar>FALSE</barra_mostrar>");
  EXPECT_FALSE(p.ConfigBarras().MostrarCodigo);
  m("<barra_mostrar>tRuE</barra_mostrar>");
  EXPECT_TRUE(p.ConfigBarras().MostrarCodigo);
  m("<barra_mostrar>talvez</barra_mostrar><barra_altura>alta</barra_altura>");
  EXPECT_TRUE(p.ConfigBarras().MostrarCodigo);
  EXPECT_EQ(p.ConfigBarras().Altura, 80);

  m("<logo_imprimir>0</logo_imprimir>");
  EXPECT_TRUE(p.ConfigLogo().IgnorarLogo);
  m("<logo_imprimir>nada</logo_imprimir>");
  EXPECT_TRUE(p.ConfigLogo().IgnorarLogo);
  m("<logo_imprimir>True</logo_imprimir>");
  EXPECT_FALSE(p.ConfigLogo().IgnorarLogo);
  m("<logo_kc1>48</logo_kc1><logo_kc2>305</logo_kc2><logo_fatorx>2</logo_fatorx><logo_fatory>3</logo_fatory>");
  EXPECT_EQ(p.ConfigLogo().KeyCode1, 48);
  EXPECT_EQ(p.ConfigLogo().KeyCode2, 49);  // low byte of 305
  EXPECT_EQ(p.ConfigLogo().FatorX, 2);
  EXPECT_EQ(p.ConfigLogo().FatorY, 3);
  m("<logo_kc1>x</logo_kc1>");
  EXPECT_EQ(p.ConfigLogo().KeyCode1, 48);
}

TEST(TagTranslationMarkers, BarcodesAndQrCodesGoToTheCommandSet) {
  MotorTeste m;
  EXPECT_EQ(m("<ean13>789-123456789-01</ean13>"), "{BAR<ean13>789123456789}");
  EXPECT_EQ(m("<Code128C>12ab34</Code128C>"), "{BAR<code128c>1234}");
  EXPECT_EQ(m("<qrcode>Pedido 57</qrcode>"), "{QR:Pedido 57}");
  // The content of a block arrives with its own tags already translated.
  EXPECT_EQ(m("<ce><n>ABC</n></ce>"), CentralizarTexto("{N+}ABC{N-}", 48));
}

class BlocoProprio : public TTestComandos {
 public:
  using TTestComandos::TTestComandos;
  std::string MontarBloco(const std::string& Tag, const std::string& Conteudo) override {
    if (Tag == "<ce>") return "{CENTRO:" + Conteudo + "}";
    return Conteudo;
  }
};

TEST(TagTranslationMarkers, ACommandSetBlockTakesOverCompletely) {
  TPosPrinter p([](TPosPrinterModelo m, TPosPrinter& e) -> std::unique_ptr<TPosPrinterClass> {
    if (m == TPosPrinterModelo::ppEscPosEpson) return std::make_unique<BlocoProprio>(e);
    return std::make_unique<TPosPrinterClass>(e);
  });
  p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  EXPECT_EQ(Traduzir(p, "<ce>abc</ce>"), "{CENTRO:abc}");
  EXPECT_EQ(Traduzir(p, "<ad>abc</ad>"), AlinharDireitaTexto("abc", 48));
}

TEST(TagTranslationImages, TextPictureBecomesARaster) {
  MotorTeste m;
  EXPECT_EQ(m("<bmp>\r\n1111000000\r\n0000000011\r\n</bmp>"), "{IMG10x2}");  // W is the first line's length; rows are padded to 16 dots
  ASSERT_EQ(m.cc().Rasters.size(), 1u);
  EXPECT_EQ(m.cc().Rasters[0].Bytes, std::string("\xF0\x00\x00\xC0", 4));
  // A first line shorter than ten characters is not taken for a picture:
  // its line break falls within the first ten characters.
  EXPECT_THROW(m("<bmp>101\n111</bmp>"), EPosPrinterException);
  EXPECT_EQ(m("<bmp> \r\n </bmp>"), "");
  EXPECT_EQ(m.cc().Rasters.size(), 1u);
}

TEST(TagTranslationImages, Base64BmpAndBitmapFile) {
  testing::TempDir dir;
  MotorTeste m;
  // Rows: 00001111 (printed dots where the file has 0 bits) and 11111111.
  const std::string bmp = BmpMono8({0x0F, 0xFF});
  EXPECT_EQ(m("<bmp>" + CodificarBase64(bmp) + "</bmp>"), "{IMG8x2}");
  ASSERT_EQ(m.cc().Rasters.size(), 1u);
  EXPECT_EQ(m.cc().Rasters[0].Bytes, std::string("\xF0\x00", 2));

  const std::string caminho = dir / "logo.bmp";
  testing::WriteFile(caminho, bmp);
  EXPECT_EQ(m("<bmp>  " + caminho + "\r\n</bmp>"), "{IMG8x2}");
  ASSERT_EQ(m.cc().Rasters.size(), 2u);
  EXPECT_EQ(m.cc().Rasters[1].Bytes, std::string("\xF0\x00", 2));

  const std::string falta = dir / "nao_existe.bmp";
  try {
    m("<bmp>" + falta + "</bmp>");
    FAIL() << "a missing image file must fail";
  } catch (const EPosPrinterException& e) {
    EXPECT_EQ(e.Message(), "Arquivo: " + falta + " n\xE3o encontrado");
  }
  // Base64 text that is not a monochrome BMP fails in the image reader.
  EXPECT_THROW(m("<bmp>QUJDRA==</bmp>"), EPosImage);
}

// One picture prints the same whether "<bmp>" names its file or holds its
// bytes in Base64: the darker palette colour is printed, whichever palette
// slot holds it. Each row is written so that the picture is F0 (four dots on
// the left) and 3C.
TEST(TagTranslationImages, APictureGivenByFileOrBase64PrintsTheSameDots) {
  const struct {
    const char* paleta;
    uint32_t cor0, cor1;
    std::vector<uint8_t> linhas;
  } casos[] = {
      {"black, white", 0x000000, 0xFFFFFF, {0x0F, 0xC3}},
      {"white, black", 0xFFFFFF, 0x000000, {0xF0, 0x3C}},
      {"light blue, dark red", 0xA0C0FF, 0x600000, {0xF0, 0x3C}},
      {"dark green, yellow", 0x004000, 0xFFFF00, {0x0F, 0xC3}},
  };
  testing::TempDir dir;
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.paleta);
    MotorTeste m;
    const std::string bmp = BmpMono8(caso.linhas, caso.cor0, caso.cor1);
    const std::string caminho = dir / "figura.bmp";
    testing::WriteFile(caminho, bmp);
    EXPECT_EQ(m("<bmp>" + caminho + "</bmp><bmp>" + CodificarBase64(bmp) + "</bmp>"), "{IMG8x2}{IMG8x2}");
    ASSERT_EQ(m.cc().Rasters.size(), 2u);
    EXPECT_EQ(m.cc().Rasters[0].Bytes, std::string("\xF0\x3C", 2)) << "file";
    EXPECT_EQ(m.cc().Rasters[1].Bytes, std::string("\xF0\x3C", 2)) << "Base64";
  }
}

// "<bmp>" reads a named file only when it leads to a regular file of at most
// 8 MiB: a device, a folder or a pipe is refused before it is opened (reading
// an endless device would never end, opening a pipe could wait for a
// writer). The names that lead elsewhere than to a file, and links, are the
// platform's (PosTranslationTestPosix.cpp, PosTranslationTestWin32.cpp).
TEST(TagTranslationImages, OnlySmallRegularFilesAreReadAsPictures) {
  testing::TempDir dir;
  const std::string bmp = dir / "logo.bmp";
  testing::WriteFile(bmp, BmpMono8({0x0F, 0xFF}));
  const std::string grande = dir / "grande.bmp";
  const std::string limite = dir / "limite.bmp";
  testing::WriteFile(grande, "");
  testing::WriteFile(limite, "");
  std::filesystem::resize_file(grande, kTamanhoMaximoArquivoImagem + 1);  // sparse: no disk used
  std::filesystem::resize_file(limite, kTamanhoMaximoArquivoImagem);

  const std::string naoComum = "Arquivo de imagem n\xE3o \xE9 um arquivo comum: ";
  struct Caso {
    std::string caminho;
    std::string erro;  // empty: the picture prints
  };
  std::vector<Caso> casos = {
      {dir.Path().string(), naoComum + dir.Path().string()},
      {grande, "Arquivo de imagem maior que 8 MiB: " + grande},
      {limite, "Imagem Bitmap inv\xE1lida: o arquivo n\xE3o \xE9 um BMP"},  // read, then refused by the loader
      {bmp, ""},
  };
  const CaminhosEspeciais especiais = CriarCaminhosEspeciais(dir, bmp);
  for (const std::string& nome : especiais.naoArquivos) casos.push_back({nome, naoComum + nome});
  for (const std::string& link : especiais.links) casos.push_back({link, ""});  // a link is followed
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.caminho);
    MotorTeste m;
    try {
      EXPECT_EQ(m("<bmp>" + caso.caminho + "</bmp>"), "{IMG8x2}");
      EXPECT_EQ(m.cc().Rasters.size(), 1u);
      if (!m.cc().Rasters.empty()) {
        EXPECT_EQ(m.cc().Rasters[0].Bytes, std::string("\xF0\x00", 2));
      }
      EXPECT_EQ(caso.erro, "") << "printed a picture that should be refused";
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message(), caso.erro);
    }
  }
}

}  // namespace
}  // namespace bilhetor
