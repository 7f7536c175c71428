// The command sets of the printer models besides plain text and Epson: the
// model table, every fixed sequence, what the tags translate to on each
// model, the parameterised operations and their refusals.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "posprinter/EscBematech.h"
#include "posprinter/EscDaruma.h"
#include "posprinter/EscPosEpson.h"
#include "posprinter/PosPrinter.h"
#include "posprinter/TagProcessor.h"
#include "support/EscPosBytes.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing_bytes::H;
using testing_bytes::Hex;
using M = TPosPrinterModelo;

std::unique_ptr<TPosPrinter> Motor(M modelo) {
  auto p = std::make_unique<TPosPrinter>();
  p->SetModelo(modelo);
  return p;
}

// The message of the EPosPrinterException that f raises.
template <typename F>
std::string Erro(F&& f) {
  try {
    f();
  } catch (const EPosPrinterException& e) {
    return e.Message();
  }
  return "no exception";
}

// The 30 fixed sequences in their declared order.
std::array<std::string, 30> Campos(const TPosComandos& c) {
  return {c.Bip,           c.AlinhaCentro,     c.AlinhaDireita,      c.AlinhaEsquerda,  c.CortaParcial,
          c.FimAlturaDupla, c.FimInvertido,    c.FimModoPagina,      c.EspacamentoPadrao, c.DescarregaPagina,
          c.InicioAlturaDupla, c.InicioInvertido, c.RestauraFonte,   c.InicioCondensado, c.CortaTotal,
          c.PrefixoEspacamento, c.InicioExpandido, c.FimCondensado,  c.FimExpandido,    c.FimItalico,
          c.FimNegrito,    c.FimSublinhado,    c.SelecionaFonteA,    c.SelecionaFonteB, c.InicioItalico,
          c.InicioModoPagina, c.InicioNegrito, c.InicioSublinhado,   c.AvancoLinha,     c.Reinicializa};
}

TEST(PrinterModels, TheModelTableNamesTheCommandSetOfEveryModel) {
  const struct {
    M modelo;
    const char* nome;
  } tabela[] = {
      {M::ppTexto, "Texto"},           {M::ppEscPosEpson, "EscPosEpson"}, {M::ppEscBematech, "EscBematech"},
      {M::ppEscDaruma, "EscDaruma"},   {M::ppEscVox, "EscElgin"},         {M::ppEscDiebold, "EscDiebold"},
      {M::ppEscEpsonP2, "EscEpsonP2"}, {M::ppCustomPos, "EscCustomPos"},  {M::ppEscPosStar, "EscPosStar"},
      {M::ppEscZJiang, "EscGPrinter"}, {M::ppEscGPrinter, "EscGPrinter"},
      {static_cast<M>(11), "Texto"},   {static_cast<M>(-1), "Texto"},
  };
  for (const auto& linha : tabela) {
    SCOPED_TRACE(static_cast<int>(linha.modelo));
    TPosPrinter p;
    p.SetModelo(M::ppEscPosEpson);  // so that every row is a real change
    p.SetModelo(linha.modelo);
    EXPECT_EQ(p.ConjuntoComandos().NomeModelo, linha.nome);
  }
}

TEST(PrinterModels, UnsupportedTagsPerModel) {
  const std::vector<std::string> barras = {"<ean8>",   "<ean13>",   "<std>",     "<inter>",   "<code11>", "<code39>",
                                           "<code93>", "<code128>", "<upca>",    "<upce>",    "<codabar>", "<msi>",
                                           "<code128a>", "<code128b>", "<code128c>", "<qrcode>"};
  std::vector<std::string> p2 = barras;
  for (const char* t : {"<ad>", "<ae>", "<ce>", "<in>", "</in>", "</corte_parcial>", "</corte_total>",
                        "<logo_imprimir>", "</abre_gaveta>", "<abre_gaveta>", "</beep>", "<mp>"})
    p2.push_back(t);
  const struct {
    M modelo;
    std::vector<std::string> tags;
  } tabela[] = {
      {M::ppEscGPrinter, {"<msi>"}},
      {M::ppEscPosStar, {"<msi>", "<i>", "</i>"}},
      {M::ppCustomPos,
       {"<msi>", "</beep>", "<mp>", "</mp>", "</mp_imprimir>", "<mp_direcao>", "<mp_esquerda>", "<mp_topo>",
        "<mp_largura>", "<mp_altura>", "<mp_espaco>", "</mp_configurar>"}},
      {M::ppEscDiebold, {"<msi>", "<code128c>"}},
      {M::ppEscBematech, {"<msi>", "<code128c>", "<mp>"}},
      {M::ppEscVox, {"<msi>", "<code128c>", "<mp>"}},
      {M::ppEscDaruma, {"<code128c>", "<mp>"}},
      {M::ppEscEpsonP2, p2},
  };
  for (const auto& linha : tabela) {
    SCOPED_TRACE(static_cast<int>(linha.modelo));
    EXPECT_EQ(Motor(linha.modelo)->ConjuntoComandos().TagsSemSuporte, linha.tags);
  }
}

TEST(PrinterModels, FixedSequencesOfTheEpsonVariants) {
  // Every field is Epson's except the ones listed (empty = emptied).
  struct Diferenca {
    int campo;  // index in the declared order
    const char* bytes;
  };
  const struct {
    M modelo;
    std::vector<Diferenca> diferencas;
  } tabela[] = {
      {M::ppEscGPrinter, {{0, "1B 42 01 03"}}},
      {M::ppEscPosStar, {{0, "1B 1D 07 01 02 05"}, {24, ""}, {19, ""}}},
      {M::ppCustomPos,
       {{14, "1B 69"}, {4, "1B 6D"}, {0, ""}, {9, ""}, {25, ""}, {7, ""}, {24, ""}, {19, ""}, {13, ""}, {17, ""}}},
      {M::ppEscDiebold, {{18, "1B 21 00"}, {24, "1B 34"}, {19, "1B 35"}}},
  };
  const auto epson = Campos(Motor(M::ppEscPosEpson)->ConjuntoComandos().Comandos);
  for (const auto& linha : tabela) {
    auto esperado = epson;
    for (const Diferenca& d : linha.diferencas) esperado[static_cast<std::size_t>(d.campo)] = H(d.bytes);
    const auto obtido = Campos(Motor(linha.modelo)->ConjuntoComandos().Comandos);
    for (std::size_t i = 0; i < esperado.size(); ++i)
      EXPECT_EQ(Hex(obtido[i]), Hex(esperado[i])) << "model " << static_cast<int>(linha.modelo) << " field " << i;
  }
}

TEST(PrinterModels, FixedSequencesOfBematechElginDarumaAndEpsonP2) {
  using Linha = std::array<const char*, 30>;
  const Linha bematech = {"1B 28 41 04 00 01 02 01 00", "1B 61 01", "1B 61 02", "1B 61 00", "1B 6D", "1B 64 00",
                          "", "", "1B 32", "", "1B 64 01", "", "1B 21 00 1B 48 1B 35", "1B 0F", "1B 77", "1B 33",
                          "1B 57 01", "1B 48", "1B 57 00", "1B 35", "1B 46", "1B 2D 00", "1B 48", "1B 0F", "1B 34",
                          "", "1B 45", "1B 2D 01", "0A", "1B 40"};
  const Linha daruma = {"07", "1B 6A 01", "1B 6A 02", "1B 6A 00", "1B 6D", "1B 77 00", "", "", "1B 32", "",
                        "1B 77 01", "", "1B 21 00 12", "1B 0F", "1B 6D", "1B 33", "1B 57 01", "12", "1B 57 00",
                        "1B 34 00", "1B 46", "1B 2D 00", "14", "1B 0F", "1B 34 01", "", "1B 45", "1B 2D 01", "0A",
                        "1B 40"};
  const Linha p2 = {"", "", "", "", "", "", "", "", "1B 32", "", "", "", "0F", "0F", "", "1B 30", "1B 57 31", "12",
                    "1B 57 30", "1B 35", "1B 48", "1B 2D 00", "12", "0F", "1B 34", "", "1B 47", "1B 2D 01", "0A",
                    "1B 40 0F"};
  const struct {
    M modelo;
    const Linha& campos;
  } tabela[] = {{M::ppEscBematech, bematech}, {M::ppEscVox, bematech}, {M::ppEscDaruma, daruma},
                {M::ppEscEpsonP2, p2}};
  for (const auto& linha : tabela) {
    const auto obtido = Campos(Motor(linha.modelo)->ConjuntoComandos().Comandos);
    for (std::size_t i = 0; i < obtido.size(); ++i)
      EXPECT_EQ(Hex(obtido[i]), Hex(H(linha.campos[i])))
          << "model " << static_cast<int>(linha.modelo) << " field " << i;
  }
  EXPECT_DOUBLE_EQ(Motor(M::ppEscDaruma)->ConjuntoComandos().RazaoColunas.Condensada, 0.8421);
  EXPECT_DOUBLE_EQ(Motor(M::ppEscBematech)->ConjuntoComandos().RazaoColunas.Condensada, 0.75);
}

// What a tagged text translates to on a fresh engine of the model, with the
// default settings (48 columns, code page 850, key codes 32 32).
struct CasoTraducao {
  M modelo;
  const char* texto;
  std::string esperado;
};

TEST(PrinterModels, TagTranslationPerModel) {
  const std::string programacao1 = TEscDaruma::MontarProgramacao('1');
  const CasoTraducao casos[] = {
      // GPrinter and ZJiang
      {M::ppEscGPrinter, "</beep>", H("1B 42 01 03")},
      {M::ppEscZJiang, "<n>x</corte>", H("1B 21 08") + "x" + H("1D 56 00")},
      // Star: italic sends nothing and adds nothing to the print mode.
      {M::ppEscPosStar, "<i><n></i>", H("1B 21 08")},
      {M::ppEscPosStar, "</beep>", H("1B 1D 07 01 02 05")},
      // Custom: italic and condensed in the print mode, its own cuts, no beep
      // and no page mode.
      {M::ppCustomPos, "<i>", H("1B 21 40")},
      {M::ppCustomPos, "<c>", H("1B 21 01")},
      {M::ppCustomPos, "<in><i><n></c>", H("1D 42 01 1B 21 40 1D 42 01 1B 21 48 1D 42 01 1B 21 48 1D 42 01")},
      {M::ppCustomPos, "</corte_total></corte_parcial></beep>", H("1B 69 1B 6D")},
      {M::ppCustomPos, "<mp>a</mp_configurar></mp_imprimir></mp>", "a"},
      // Diebold: Code 128 as given; QR code alignment byte.
      {M::ppEscDiebold, "<code128a>ABC</code128a>", H("1D 77 02 1D 68 32 1D 48 00 1D 6B 49 03 41 42 43")},
      {M::ppEscDiebold, "<code128c>{C12</code128c>", H("1D 77 02 1D 68 32 1D 48 00 1D 6B 49 02 31 32")},
      {M::ppEscDiebold, "<code128>{A1</code128>", H("1D 77 02 1D 68 32 1D 48 00 1D 6B 49 03") + "{A1"},
      {M::ppEscDiebold, "</ce><qrcode>AB</qrcode>",
       H("1B 61 01 1B 28 6B 03 00 31 42 31 1B 28 6B 03 00 31 43 04 1B 28 6B 03 00 31 45 30"
         " 1B 28 6B 05 00 31 50 30 41 42 1B 28 6B 03 00 31 51 30")},
      {M::ppEscDiebold, "</ae><qrcode>A</qrcode>",
       H("1B 61 00 1B 28 6B 03 00 31 42 30 1B 28 6B 03 00 31 43 04 1B 28 6B 03 00 31 45 30"
         " 1B 28 6B 04 00 31 50 30 41 1B 28 6B 03 00 31 51 30")},
      {M::ppEscDiebold, "</logo>", H("1D 30 39 00")},
      // Bematech
      {M::ppEscBematech, "<c>x</fn>", H("1B 0F") + "x" + H("1B 21 00 1B 48 1B 35")},
      {M::ppEscBematech, "<n>x</n><a>y</a><e>z</e>",
       H("1B 45") + "x" + H("1B 46 1B 64 01") + "y" + H("1B 64 00 1B 57 01") + "z" + H("1B 57 00")},
      {M::ppEscBematech, "</corte_total></corte_parcial></beep>", H("1B 77 1B 6D 1B 28 41 04 00 01 02 01 00")},
      {M::ppEscBematech, "</abre_gaveta><abre_gaveta>2</abre_gaveta>", H("1B 76 C8 1B 80 C8")},
      {M::ppEscBematech, "<qrcode_error>1</qrcode_error><qrcode>ABC</qrcode>",
       H("1D 6B 51 01 08 00 01 03 00 41 42 43")},
      {M::ppEscBematech, "<code128c>12345</code128c>", H("1D 77 02 1D 68 32 1D 48 00 1D 6B 49 05") + "12345"},
      {M::ppEscBematech, "<ean8>12</ean8>", H("1D 77 02 1D 68 32 1D 48 00 1D 6B 44 07") + "0000012"},
      {M::ppEscBematech, "</logo>", H("1C 70 01 00")},  // two blanks are no number: position 1
      {M::ppEscBematech, "</zera>", H("1B 40 1D F9 20 00 1B 32 1B 74 02")},
      // Elgin and Vox
      {M::ppEscVox, "<qrcode>ABC</qrcode>", H("1D 6F 00 04 00 02 1D 6B 0B 4C 41 2C 41 42 43 00")},
      {M::ppEscVox, "</abre_gaveta><abre_gaveta>2</abre_gaveta>", H("1B 76 6E C8 1B 76 6E C8")},
      {M::ppEscVox, "<c>x</fn>", H("1B 0F") + "x" + H("1B 21 00 1B 48 1B 35")},
      // Daruma
      {M::ppEscDaruma, "</ce><a>x</a></fa></fb>", H("1B 6A 01 1B 77 01") + "x" + H("1B 77 00 14 1B 0F")},
      {M::ppEscDaruma, "</beep></corte></abre_gaveta></logo>", H("07 1B 6D 1B 70 16 08 16 09")},
      {M::ppEscDaruma, "<i>x</i></fn>", H("1B 34 01") + "x" + H("1B 34 00 1B 21 00 12")},
      {M::ppEscDaruma, "<ean13>789</ean13>", H("1B 62 01 02 32 00") + "000000000789" + H("00")},
      {M::ppEscDaruma, "<code128c>12</code128c><upce>123</upce>", H("1B 62 05 02 32 00") + "12" + H("00") + "123"},
      {M::ppEscDaruma, "<qrcode>ABC</qrcode>", H("1B 81 05 00 04 00 41 42 43")},
      // An empty QR code sends no command on any model.
      {M::ppEscDaruma, "a<qrcode></qrcode>b", "ab"},
      {M::ppEscBematech, "a<qrcode></qrcode>b", "ab"},
      {M::ppEscVox, "a<qrcode></qrcode>b", "ab"},
      {M::ppEscDiebold, "a<qrcode></qrcode>b", "ab"},
      {M::ppCustomPos, "a<qrcode></qrcode>b", "ab"},
      {M::ppEscDaruma, "</zera>", H("1B 40") + programacao1 + H("1B 32")},
      // The condensed ratio 0.8421 makes 48 columns 57.
      {M::ppEscDaruma, "<c></linha_simples>", H("1B 0F") + std::string(57, '-')},
      // Epson P2: no alignment, cut, drawer, barcode or QR code commands.
      {M::ppEscEpsonP2, "</fn></ce></corte></abre_gaveta></beep>", H("0F")},
      {M::ppEscEpsonP2, "<n>x</n><e>y</e>", H("1B 47") + "x" + H("1B 48 1B 57 31") + "y" + H("1B 57 30")},
      {M::ppEscEpsonP2, "<code39>AB</code39><qrcode>x</qrcode></logo>", "AB"},
      {M::ppEscEpsonP2, "</reset>", H("1B 40 0F")},
  };
  for (const CasoTraducao& c : casos) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.modelo)) + " " + c.texto);
    auto p = Motor(c.modelo);
    EXPECT_EQ(Hex(p->TagProcessor().ProcessarTags(c.texto)), Hex(c.esperado));
  }
}

TEST(PrinterModels, ParametersOfBarcodesQrCodesAndDrawers) {
  // Daruma: width 2..5, height 50..200, text flag 1.
  auto daruma = Motor(M::ppEscDaruma);
  TPosPrinterClass& d = daruma->ConjuntoComandos();
  daruma->ConfigBarras() = {true, 300, 1, 0};
  EXPECT_EQ(Hex(d.MontarCodigoBarras("<code39>", "A")), "1B 62 06 02 C8 01 41 00");
  daruma->ConfigBarras() = {false, 10, 9, 0};
  EXPECT_EQ(Hex(d.MontarCodigoBarras("<msi>", "1")), "1B 62 0A 05 32 00 31 00");
  EXPECT_EQ(Erro([&] { d.MontarCodigoBarras("<code93>", std::string("A\0B", 3)); }),
            "C\xF3" "digo de barras <code93> com o byte 00, que encerra o c\xF3" "digo na EscDaruma");

  // Daruma QR: above 256 bytes the module is raised to 4 for later codes and
  // the level to M; this code keeps the module it had.
  TConfigQRCode& qr = daruma->ConfigQRCode();
  qr.SetLarguraModulo(3);
  const std::string longo(300, 'x');
  EXPECT_EQ(Hex(d.MontarQRCode(longo).substr(0, 6)), "1B 81 2E 01 03 4D");
  EXPECT_EQ(qr.LarguraModulo(), 4);
  qr.SetLarguraModulo(16);
  qr.SetErrorLevel(3);
  EXPECT_EQ(Hex(d.MontarQRCode(std::string(256, 'x')).substr(0, 6)), "1B 81 02 01 07 48");
  EXPECT_EQ(qr.LarguraModulo(), 16);

  // Custom QR: model 00 for type 2 and 01 for type 1; module at least 2.
  auto custom = Motor(M::ppCustomPos);
  custom->ConfigQRCode().SetTipo(1);
  custom->ConfigQRCode().SetLarguraModulo(1);
  custom->ConfigQRCode().SetErrorLevel(2);
  EXPECT_EQ(Hex(custom->ConjuntoComandos().MontarQRCode("A")),
            "1D 28 6B 03 00 31 41 01 1D 28 6B 03 00 31 42 02 1D 28 6B 03 00 31 45 02 1D 28 6B 04 00 31 50 31 41"
            " 1D 28 6B 03 00 31 51 31");

  // Elgin QR: levels and the 00 that ends the data.
  auto elgin = Motor(M::ppEscVox);
  const char* niveis[] = {"4C", "4D", "51", "48"};
  for (int nivel = 0; nivel < 4; ++nivel) {
    elgin->ConfigQRCode().SetErrorLevel(nivel);
    EXPECT_EQ(Hex(elgin->ConjuntoComandos().MontarQRCode("A").substr(9, 1)), niveis[nivel]);
  }
  EXPECT_EQ(Erro([&] { elgin->ConjuntoComandos().MontarQRCode(std::string("A\0", 2)); }),
            "QRCode com o byte 00, que encerra os dados na EscElgin");

  // The drawer pulse is the longer of the two times.
  auto bematech = Motor(M::ppEscBematech);
  bematech->ConfigGaveta().TempoON = 120;
  bematech->ConfigGaveta().TempoOFF = 30;
  EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarGaveta(0)), "1B 76 78");
  EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarGaveta(3)), "1B 80 78");

  // Code 128 as given still has a one-byte length.
  EXPECT_EQ(bematech->ConjuntoComandos().MontarCodigoBarras("<code128b>", std::string(255, 'x')).size(), 13u + 255u);
  EXPECT_THROW(bematech->ConjuntoComandos().MontarCodigoBarras("<code128b>", std::string(256, 'x')),
               EPosPrinterException);
}

TEST(PrinterModels, CodePagesAndInitialisation) {
  const struct {
    TPosPaginaCodigo pagina;
    const char* bematech;
  } paginas[] = {{TPosPaginaCodigo::pcNone, ""},       {TPosPaginaCodigo::pc437, "1B 74 03"},
                 {TPosPaginaCodigo::pc850, "1B 74 02"}, {TPosPaginaCodigo::pc852, ""},
                 {TPosPaginaCodigo::pc860, "1B 74 04"}, {TPosPaginaCodigo::pcUTF8, "1B 74 08"},
                 {TPosPaginaCodigo::pc1252, ""}};
  auto bematech = Motor(M::ppEscBematech);
  for (const auto& linha : paginas)
    EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarPaginaCodigo(linha.pagina)), Hex(H(linha.bematech)));
  bematech->SetEspacoEntreLinhas(30);
  EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarInicializacao()), "1D F9 20 00 1B 33 1E 1B 74 02");
  // Epson P2 and Daruma keep the base: no code page command at all.
  auto p2 = Motor(M::ppEscEpsonP2);
  p2->SetEspacoEntreLinhas(30);
  EXPECT_EQ(Hex(p2->ConjuntoComandos().MontarInicializacao()), "1B 30 1E");
  auto daruma = Motor(M::ppEscDaruma);
  EXPECT_EQ(Hex(daruma->ConjuntoComandos().MontarInicializacao()),
            Hex(H("1B C6") + std::string(30, 'X') + "1" + std::string(9, 'X') + H("1B 32")));
}

TEST(PrinterModels, LogosAndImages) {
  auto msg = [](auto& p, auto f) { return Erro([&] { f(p->ConjuntoComandos()); }); };
  const std::string soBematech = "Bematech apenas aceitas KeyCode1=1, KeyCode2=0";

  // Bematech prints by key-code number and stores only at position 1.
  auto bematech = Motor(M::ppEscBematech);
  TConfigLogo& logo = bematech->ConfigLogo();
  logo.KeyCode1 = '1';
  logo.KeyCode2 = '5';
  logo.FatorY = 2;
  EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarLogo()), "1C 70 0F 02");
  EXPECT_EQ(msg(bematech, [](TPosPrinterClass& c) { c.MontarApagaLogo(); }), soBematech);
  EXPECT_EQ(msg(bematech, [](TPosPrinterClass& c) { c.MontarGravacaoLogo(H("80"), 1, 1); }), soBematech);
  logo.KeyCode1 = '-';
  EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarLogo()), "1C 70 00 02");  // "-5": position 0
  auto dieboldNegativo = Motor(M::ppEscDiebold);
  dieboldNegativo->ConfigLogo().KeyCode1 = '-';
  dieboldNegativo->ConfigLogo().KeyCode2 = '5';
  EXPECT_EQ(Hex(dieboldNegativo->ConjuntoComandos().MontarLogo()), "1D 30 39 00");
  logo.KeyCode1 = 1;
  logo.KeyCode2 = 0;
  EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarLogo()), "1C 70 01 02");
  EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarGravacaoLogo(H("80"), 1, 1)),
            "1C 71 01 01 00 01 00 80 00 00 00 00 00 00 00");
  EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarApagaLogo()), "1C 71 01 01 00 01 00 00 00 00 00 00 00 00 00");

  // Images: the column form on Bematech and Custom whatever KeyCode2 holds.
  const std::string raster = H("C0");
  const std::string colunas = H("1B 33 10") + escpos::BandasColunas24(raster, 2, 1) + H("1B 32");
  auto custom = Motor(M::ppCustomPos);
  EXPECT_EQ(Hex(custom->ConjuntoComandos().MontarImagemRaster(raster, 2, 1)), Hex(colunas));
  EXPECT_EQ(Hex(bematech->ConjuntoComandos().MontarImagemRaster(raster, 2, 1)), Hex(colunas));
  EXPECT_EQ(Motor(M::ppEscEpsonP2)->ConjuntoComandos().MontarImagemRaster(raster, 2, 1), "");

  // Custom: only the legacy logo, and no storing or erasing at all.
  EXPECT_EQ(msg(custom, [](TPosPrinterClass& c) { c.MontarLogo(); }), "Custom apenas aceitas KeyCode1=1, KeyCode2=0");
  EXPECT_EQ(msg(custom, [](TPosPrinterClass& c) { c.MontarGravacaoLogo(H("80"), 1, 1); }),
            "Comando GravarLogoRasterStr ainda n\xC3\xA3o suportado na CustomPos");
  EXPECT_EQ(msg(custom, [](TPosPrinterClass& c) { c.MontarApagaLogo(); }),
            "Comando ApagarLogo ainda n\xC3\xA3o suportado na CustomPos");
  custom->ConfigLogo().KeyCode2 = 0;
  custom->ConfigLogo().KeyCode1 = '1';
  EXPECT_EQ(Hex(custom->ConjuntoComandos().MontarLogo()), "1C 70 01 00");

  // GPrinter: the key-code form always fails, with the model's name; the
  // legacy form works; images keep both Epson forms.
  auto gprinter = Motor(M::ppEscZJiang);
  const std::string soLegado = "EscGPrinter apenas aceitas KeyCode1=1, KeyCode2=0";
  EXPECT_EQ(msg(gprinter, [](TPosPrinterClass& c) { c.MontarLogo(); }), soLegado);
  EXPECT_EQ(msg(gprinter, [](TPosPrinterClass& c) { c.MontarApagaLogo(); }), soLegado);
  EXPECT_EQ(msg(gprinter, [](TPosPrinterClass& c) { c.MontarGravacaoLogo(H("80"), 1, 1); }), soLegado);
  EXPECT_EQ(Hex(gprinter->ConjuntoComandos().MontarImagemRaster(raster, 2, 1).substr(0, 3)), "1D 38 4C");
  gprinter->ConfigLogo().KeyCode2 = 0;
  gprinter->ConfigLogo().KeyCode1 = 1;
  EXPECT_EQ(Hex(gprinter->ConjuntoComandos().MontarLogo()), "1C 70 01 00");

  // Diebold: the key-code characters as a number, at most 9.
  auto diebold = Motor(M::ppEscDiebold);
  const struct {
    uint8_t kc1, kc2;
    const char* esperado;
  } dieboldLogo[] = {{'0', '1', "1D 30 39 01"}, {'1', '5', "1D 30 39 09"}, {' ', '7', "1D 30 39 07"},
                     {32, 32, "1D 30 39 00"},   {'A', '1', "1D 30 39 00"}};
  for (const auto& l : dieboldLogo) {
    diebold->ConfigLogo().KeyCode1 = l.kc1;
    diebold->ConfigLogo().KeyCode2 = l.kc2;
    EXPECT_EQ(Hex(diebold->ConjuntoComandos().MontarLogo()), l.esperado) << l.kc1 << l.kc2;
  }
  EXPECT_EQ(diebold->ConjuntoComandos().ConsultarInfo(), "Fabricante=Diebold\r\n");
}

// A random text of the tag language, block tags closed around content that
// every model accepts.
std::string TextoAleatorio(std::mt19937& rng, const std::vector<std::string>& pedacos) {
  std::string t;
  const int n = 1 + static_cast<int>(rng() % 12);
  for (int i = 0; i < n; ++i) t += pedacos[rng() % pedacos.size()];
  return t;
}

std::vector<std::string> Pedacos(const std::set<std::string>& fora) {
  TPosPrinter p;
  std::vector<std::string> r = {"ab", "\n", " 1 "};
  const TTags& registro = p.TagProcessor().Registro;
  for (std::size_t i = 0; i < registro.Count(); ++i) {
    const std::string marca = registro[i].Marca();
    if (fora.count(marca)) continue;
    if (!registro[i].Bloco) {
      r.push_back(marca);
    } else if (marca == "<bmp>") {
      r.push_back("<bmp>1100110011\n0011001100</bmp>");
    } else {
      r.push_back(marca + "12" + "</" + marca.substr(1));
    }
  }
  return r;
}

// The Epson variants are Epson on every tag outside their own differences,
// and the models served by another model's command set are that model.
TEST(PrinterModels, VariantsMatchTheirReferenceModelOnRandomText) {
  const struct {
    M modelo;
    M referencia;
    std::set<std::string> fora;
  } pares[] = {
      {M::ppEscGPrinter, M::ppEscPosEpson, {"</beep>", "</logo>"}},
      {M::ppEscPosStar, M::ppEscPosEpson, {"</beep>", "<i>", "</i>"}},
      {M::ppCustomPos,
       M::ppEscPosEpson,
       {"</beep>", "<i>", "</i>", "</corte>", "</corte_total>", "</corte_parcial>", "<mp>", "</mp>",
        "</mp_imprimir>", "</mp_configurar>", "<qrcode>", "</logo>", "<bmp>"}},
      {M::ppEscDiebold, M::ppEscPosEpson, {"<code128>", "<code128a>", "<code128b>", "<code128c>", "<qrcode>", "</logo>"}},
      {M::ppEscVox, M::ppEscBematech, {"<qrcode>", "</abre_gaveta>", "<abre_gaveta>"}},
      {M::ppEscZJiang, M::ppEscGPrinter, {}},
  };
  std::mt19937 rng(20261210u);
  for (const auto& par : pares) {
    SCOPED_TRACE(static_cast<int>(par.modelo));
    auto modelo = Motor(par.modelo);
    auto referencia = Motor(par.referencia);
    const std::vector<std::string> pedacos = Pedacos(par.fora);
    // A refused command (a logo key code set by the text itself) must be
    // refused alike.
    auto traduzir = [](TPosPrinter& p, const std::string& texto) {
      try {
        return Hex(p.TagProcessor().ProcessarTags(texto));
      } catch (const EPosPrinterException& e) {
        return "error: " + e.Message();
      }
    };
    for (int i = 0; i < 400; ++i) {
      const std::string texto = TextoAleatorio(rng, pedacos);
      ASSERT_EQ(traduzir(*modelo, texto), traduzir(*referencia, texto)) << texto;
      ASSERT_EQ(modelo->EstadoFonte(), referencia->EstadoFonte()) << texto;
    }
  }
}

}  // namespace
}  // namespace bilhetor
