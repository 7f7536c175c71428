// The engine through real file ports: construction, activation, the print
// pipeline and its order, the initialization rule, buffering, model switching,
// the send event and the exact log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/Strings.h"
#include "device/Device.h"
#include "device/EscPosHook.h"
#include "posprinter/TagProcessor.h"
#include "posprinter/PosPrinter.h"
#include "support/EngineTestCommandSet.h"
#include "support/EscPosBytes.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing::FabricaTeste;
using testing::ReadFile;
using testing::TempDir;
using testing::TTestComandos;

const TMomentoLog kMomento{2026, 12, 8, 14, 3, 27, 915};
const std::string kPrefixo = "-- 08/12 14:03:27:915 - ";
const std::string kTracos(80, '-');

// The engine's lines of a log file that the device writes to as well: the
// device's timed lines have a single blank after the time, the engine's " - ".
std::vector<std::string> LinhasLog(const std::string& caminho) {
  std::vector<std::string> r;
  auto guardar = [&](std::string l) {
    const bool doDevice = l.rfind("-- ", 0) == 0 && l.size() > 24 && l.compare(21, 3, " - ") != 0;
    if (!doDevice) r.push_back(std::move(l));
  };
  const std::string t = ReadFile(caminho);
  std::size_t i = 0;
  while (i < t.size()) {
    const std::size_t f = t.find("\r\n", i);
    if (f == std::string::npos) {
      guardar(t.substr(i));
      break;
    }
    guardar(t.substr(i, f - i));
    i = f + 2;
  }
  return r;
}

// An engine printing to a file port in a temporary folder, with a fixed clock
// and, when asked, a log file.
struct Motor {
  TempDir dir;
  TPosPrinter p{FabricaTeste};
  std::string saida = dir / "saida.txt";
  std::string log = dir / "engine.log";

  explicit Motor(bool comModeloTeste = true, bool comLog = false) {
    if (comModeloTeste) p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
    p.SetRelogio([] { return kMomento; });
    p.SetPorta(saida);
    if (comLog) p.SetArqLOG(log);
  }
  std::string Impresso() const { return ReadFile(saida); }
  TTestComandos& cc() { return dynamic_cast<TTestComandos&>(p.ConjuntoComandos()); }
};

// The initialization of the marker command set with the defaults.
const std::string kInit = "{ESP}{PC2}";

TEST(PosPrinterEngine, DefaultsAfterConstruction) {
  TPosPrinter p;
  EXPECT_EQ(p.Modelo(), TPosPrinterModelo::ppTexto);
  EXPECT_EQ(p.ConjuntoComandos().NomeModelo, "Texto");
  EXPECT_EQ(p.PaginaDeCodigo(), TPosPaginaCodigo::pc850);
  EXPECT_EQ(p.ColunasFonteNormal(), 48);
  EXPECT_EQ(p.EspacoEntreLinhas(), 0);
  EXPECT_TRUE(p.CortaPapel());
  EXPECT_EQ(p.TipoCorte(), TPosTipoCorte::ctTotal);
  EXPECT_TRUE(p.TraduzirTags());
  EXPECT_FALSE(p.IgnorarTags());
  EXPECT_EQ(p.LinhasBuffer(), 0);
  EXPECT_FALSE(p.ControlePorta());
  EXPECT_FALSE(p.VerificarImpressora());
  EXPECT_FALSE(p.Ativo());
  EXPECT_EQ(p.EstadoFonte().Bits(), 1u);
  EXPECT_EQ(p.ConfigQRCode().Tipo(), 2);
  EXPECT_EQ(p.ConfigQRCode().LarguraModulo(), 4);
  EXPECT_EQ(p.ConfigLogo().KeyCode1, 32);
  EXPECT_EQ(p.ConfigGaveta().TempoON, 50);
  EXPECT_EQ(p.ConfigGaveta().TempoOFF, 200);
  // The tag language is registered on the engine's processor.
  EXPECT_EQ(p.TagProcessor().Registro.Count(), 77u);
}

TEST(PosPrinterEngine, QrCodeSettersClamp) {
  TConfigQRCode q;
  q.SetTipo(1);
  EXPECT_EQ(q.Tipo(), 1);
  q.SetTipo(2);
  EXPECT_EQ(q.Tipo(), 2);
  q.SetTipo(0);
  EXPECT_EQ(q.Tipo(), 1);
  q.SetTipo(99);
  EXPECT_EQ(q.Tipo(), 2);
  q.SetLarguraModulo(15);
  EXPECT_EQ(q.LarguraModulo(), 15);
  q.SetLarguraModulo(16);
  EXPECT_EQ(q.LarguraModulo(), 16);
  q.SetLarguraModulo(-1);
  EXPECT_EQ(q.LarguraModulo(), 1);
  q.SetErrorLevel(2);
  EXPECT_EQ(q.ErrorLevel(), 2);
  q.SetErrorLevel(3);
  EXPECT_EQ(q.ErrorLevel(), 3);
  q.SetErrorLevel(-1);
  EXPECT_EQ(q.ErrorLevel(), 0);
}

TEST(PosPrinterEngine, InactiveEngineRefusesToPrintAndEmptiesTheBuffer) {
  Motor m;
  m.p.Buffer().Add("linha 1");
  m.p.Buffer().Add("linha 2");
  try {
    m.p.Imprimir("extra");
    FAIL() << "an inactive engine must refuse to print";
  } catch (const EPosPrinterException& e) {
    EXPECT_EQ(e.Message(), "N\xE3o est\xE1 Ativo");
  }
  EXPECT_EQ(m.p.Buffer().Count(), 0u);
  EXPECT_FALSE(std::filesystem::exists(m.saida));
  // The next print starts from an empty buffer.
  m.p.Ativar();
  m.p.Imprimir("x");
  EXPECT_EQ(m.Impresso(), kInit + "x");
}

TEST(PosPrinterEngine, PrintsBufferThenExtraTextWithLineFeeds) {
  Motor m;
  m.p.Ativar();
  EXPECT_EQ(m.cc().Ativacoes, 1);
  m.p.Buffer().Add("<n>Pedido</n>");
  m.p.Buffer().Add("Item");
  m.p.Imprimir("fim", true);
  EXPECT_EQ(m.Impresso(), kInit + "{N+}Pedido{N-}\r\nItem\r\nfim\r\n");
  EXPECT_TRUE(m.p.Buffer().Empty());
  // Activation deletes the file; the sends after it append.
  m.p.Imprimir("mais");
  EXPECT_EQ(m.Impresso(), kInit + "{N+}Pedido{N-}\r\nItem\r\nfim\r\nmais");
}

// The extra text may be one of the buffer's own lines: it is read before the
// buffer is emptied. The lines are longer than the short-string storage, so
// the sanitizer build sees any read of a freed line.
TEST(PosPrinterEngine, ExtraTextThatIsALineOfTheBufferIsReadBeforeTheBufferEmpties) {
  Motor m;
  m.p.Ativar();
  const std::string primeira = "primeira linha do pedido, longa o bastante";
  const std::string segunda = "segunda linha do pedido, tambem longa demais";
  m.p.Buffer().Add(primeira);
  m.p.Buffer().Add(segunda);
  m.p.Imprimir(m.p.Buffer()[1]);
  EXPECT_EQ(m.Impresso(), kInit + primeira + "\r\n" + segunda + "\r\n" + segunda);
  // The only line of the buffer as the extra text, with copies.
  m.p.Buffer().Add(primeira);
  m.p.Imprimir(m.p.Buffer()[0], false, true, true, 2);
  EXPECT_EQ(m.Impresso(), kInit + primeira + "\r\n" + segunda + "\r\n" + segunda +
                              (primeira + "\r\n" + primeira) + (primeira + "\r\n" + primeira));
  EXPECT_TRUE(m.p.Buffer().Empty());
}

TEST(PosPrinterEngine, CodePageConversionRunsBeforeTheTags) {
  // Bold on is a sequence with a byte that pc850 would change (E9 -> 82)
  // if it were converted: it must reach the printer unchanged.
  TPosPrinter p([](TPosPrinterModelo, TPosPrinter& e) -> std::unique_ptr<TPosPrinterClass> {
    auto c = std::make_unique<TPosPrinterClass>(e);
    c->Comandos.InicioNegrito = "\x1B\xE9";
    return c;
  });
  TempDir dir;
  p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  p.SetPorta(dir / "cp.txt");
  p.Ativar();
  p.Imprimir("\xE9<n>\xE7");
  EXPECT_EQ(ReadFile(dir / "cp.txt"), "\x82\x1B\xE9\x87");
  // Without ConverterPagina the text keeps its bytes.
  p.Imprimir("\xE9", false, true, false);
  EXPECT_EQ(ReadFile(dir / "cp.txt"), "\x82\x1B\xE9\x87\xE9");
}

TEST(PosPrinterEngine, NoCodePageFoldsTextButNotTagSequences) {
  TPosPrinter p([](TPosPrinterModelo, TPosPrinter& e) -> std::unique_ptr<TPosPrinterClass> {
    auto c = std::make_unique<TPosPrinterClass>(e);
    c->Comandos.InicioNegrito = "\x1B\x45\x01";
    c->Comandos.FimNegrito = std::string("\x1B\x45\x00", 3);
    return c;
  });
  TempDir dir;
  p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  p.SetPaginaDeCodigo(TPosPaginaCodigo::pcNone);
  p.SetPorta(dir / "ascii.txt");
  p.Ativar();
  p.Imprimir("<n>A\xE7\xE3o</n>\t\x1B|\xD8\xDF");
  EXPECT_EQ(ReadFile(dir / "ascii.txt"), std::string("\x1B\x45\x01" "Acao\x1B\x45\x00", 10) + "  |0B");
}

TEST(PosPrinterEngine, LineBreaksBecomeTheModelLineFeedBeforeTags) {
  TPosPrinter p([](TPosPrinterModelo, TPosPrinter& e) -> std::unique_ptr<TPosPrinterClass> {
    auto c = std::make_unique<TPosPrinterClass>(e);
    c->Comandos.AvancoLinha = "|\n";
    c->Comandos.AlinhaCentro = "\r\n";  // produced by a tag: left as it is
    return c;
  });
  TempDir dir;
  p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  p.SetPorta(dir / "lf.txt");
  p.Ativar();
  p.Imprimir("a\r\nb\rc\nd\r\r\ne</ce>");
  EXPECT_EQ(ReadFile(dir / "lf.txt"), "a|\nb|\nc|\nd|\n|\ne\r\n");
  // A text of blanks and line breaks only is sent as it is.
  p.Imprimir(" \r\n\r \t");
  EXPECT_EQ(ReadFile(dir / "lf.txt"), "a|\nb|\nc|\nd|\n|\ne\r\n \r\n\r \t");
}

TEST(PosPrinterEngine, AjustarQuebrasLinha) {
  EXPECT_EQ(TPosPrinter::AjustarQuebrasLinha("a\r\r\nb\n\rc", "\n"), "a\n\nb\n\nc");
  EXPECT_EQ(TPosPrinter::AjustarQuebrasLinha("a\r\r\nb\n\rc", "\r\n"), "a\r\n\r\nb\r\n\r\nc");
  EXPECT_EQ(TPosPrinter::AjustarQuebrasLinha("a\nb", ""), "ab");
  EXPECT_EQ(TPosPrinter::AjustarQuebrasLinha("\r\n \n", "X"), "\r\n \n");
  EXPECT_EQ(TPosPrinter::AjustarQuebrasLinha("", "X"), "");
  EXPECT_EQ(TPosPrinter::AjustarQuebrasLinha("x\r", "<>"), "x<>");
}

// The line break rule step by step, as a reference for the one-pass version.
std::string QuebrasReferencia(const std::string& t, const std::string& q) {
  if (Trim(t).empty()) return t;
  std::string r = ReplaceAll(ReplaceAll(t, "\r\n", "\n"), "\r", "\n");
  if (q != "\n") r = ReplaceAll(r, "\n", q);
  return r;
}

TEST(PosPrinterEngine, AjustarQuebrasLinhaMatchesTheStepByStepRuleOnRandomTexts) {
  uint32_t semente = 12345;
  auto aleatorio = [&](uint32_t n) {
    semente = semente * 1103515245u + 12345u;
    return (semente >> 16) % n;
  };
  const char alfabeto[] = {'\r', '\n', 'a', ' ', '\t', 'x'};
  const std::string quebras[] = {"\r\n", "\n", "", "|", "\r"};
  for (int i = 0; i < 5000; ++i) {
    std::string t;
    const uint32_t n = aleatorio(24);
    for (uint32_t k = 0; k < n; ++k) t.push_back(alfabeto[aleatorio(sizeof alfabeto)]);
    const std::string& q = quebras[aleatorio(5)];
    ASSERT_EQ(TPosPrinter::AjustarQuebrasLinha(t, q), QuebrasReferencia(t, q))
        << ::testing::PrintToString(t) << " " << ::testing::PrintToString(q);
  }
}

// Long texts are converted and their breaks adjusted piece by piece: the
// result must be the same as converting and adjusting the whole text, also
// with a CR LF split between two pieces.
TEST(PosPrinterEngine, LongTextsMatchConvertingThenAdjustingTheWholeText) {
  Motor m(false);
  m.p.SetPaginaDeCodigo(TPosPaginaCodigo::pcUTF8);
  std::string enviado;
  m.p.OnEnviarStringDevice = [&](const std::string& d, bool& tratado) {
    enviado = d;
    tratado = true;
  };
  m.p.Ativar();
  const std::size_t kPedaco = 64 * 1024;
  uint32_t semente = 99;
  auto aleatorio = [&](uint32_t n) {
    semente = semente * 1103515245u + 12345u;
    return (semente >> 16) % n;
  };
  const char alfabeto[] = {'\r', '\n', 'a', ' ', '\xE9', '\x80'};
  for (int caso = 0; caso < 16; ++caso) {
    std::string t(kPedaco * 2 + 10, 'x');
    for (char& c : t) c = alfabeto[aleatorio(sizeof alfabeto)];
    // Breaks right at the borders of the pieces.
    t[kPedaco - 1] = '\r';
    t[kPedaco] = caso % 2 ? '\n' : '\r';
    t[2 * kPedaco - 1] = '\r';
    t[2 * kPedaco] = '\n';
    if (caso == 0) t = std::string(kPedaco + 5, ' ') + "\r" + std::string(kPedaco, '\n');
    m.p.Imprimir(t, false, false);
    const std::string esperado =
        TPosPrinter::AjustarQuebrasLinha(m.p.CodificarPaginaDeCodigo(t), m.p.ConjuntoComandos().Comandos.AvancoLinha);
    ASSERT_EQ(enviado.substr(enviado.size() - esperado.size()), esperado) << "caso " << caso;
  }
}

TEST(PosPrinterEngine, DecodificarTagsFalseSendsTagsAsText) {
  Motor m;
  m.p.Ativar();
  m.p.Imprimir("<n>x</n>", false, false);
  EXPECT_EQ(m.Impresso(), kInit + "<n>x</n>");
  m.p.SetTraduzirTags(false);
  m.p.Imprimir("<e>");
  EXPECT_EQ(m.Impresso(), kInit + "<n>x</n><e>");
  m.p.SetTraduzirTags(true);
  m.p.SetIgnorarTags(true);
  m.p.Imprimir("<e>y</e>");
  EXPECT_EQ(m.Impresso(), kInit + "<n>x</n><e>y");
}

TEST(PosPrinterEngine, CopiesAndTheInitializationRule) {
  Motor m;
  m.p.Ativar();
  m.p.Imprimir("abc", false, true, true, 2);
  EXPECT_EQ(m.Impresso(), kInit + "abc" + "abc");
  m.p.Imprimir("zero", false, true, true, 0);
  m.p.Imprimir("neg", false, true, true, -1);
  EXPECT_EQ(m.Impresso(), kInit + "abcabc");
  // Deactivation forgets that the printer was initialized.
  m.p.Desativar();
  m.p.Ativar();
  m.p.Imprimir("d");
  EXPECT_EQ(m.Impresso(), kInit + "d");
}

TEST(PosPrinterEngine, InitializationAlreadyInTheTextIsNotRepeated) {
  Motor m;
  m.p.Ativar();
  m.p.Imprimir("</zera>abc");
  EXPECT_EQ(m.Impresso(), "{RST}" + kInit + "abc");
  m.p.Desativar();
  m.p.Ativar();
  m.p.Imprimir("x{ESP}{PC2}y", false, false);
  EXPECT_EQ(m.Impresso(), "x{ESP}{PC2}y");
  EXPECT_TRUE(m.p.InicializacaoEnviada());
  // "</reset>" makes the next send initialize again.
  m.p.Imprimir("</reset>");
  m.p.Imprimir("z");
  EXPECT_EQ(m.Impresso(), "x{ESP}{PC2}y{RST}" + kInit + "z");
}

TEST(PosPrinterEngine, AResetAloneIsSentWithoutInitialization) {
  Motor m;
  m.p.Ativar();
  m.p.EnviarStringDevice("{RST}");
  EXPECT_EQ(m.Impresso(), "{RST}");
  EXPECT_FALSE(m.p.InicializacaoEnviada());
  m.p.EnviarStringDevice("");
  EXPECT_EQ(m.Impresso(), "{RST}");
  m.p.EnviarStringDevice("a");
  EXPECT_EQ(m.Impresso(), "{RST}" + kInit + "a");
  // A reset sent to an initialized printer undoes the initialization.
  EXPECT_TRUE(m.p.InicializacaoEnviada());
  m.p.EnviarStringDevice("{RST}");
  EXPECT_FALSE(m.p.InicializacaoEnviada());
  m.p.EnviarStringDevice("b");
  EXPECT_EQ(m.Impresso(), "{RST}" + kInit + "a{RST}" + kInit + "b");
  // Other data is not searched for a reset: its bytes are opaque.
  m.p.EnviarStringDevice("{RST}c");
  EXPECT_EQ(m.Impresso(), "{RST}" + kInit + "a{RST}" + kInit + "b{RST}c");
}

TEST(PosPrinterEngine, ControlePortaActivatesAndClosesThePortAroundEachSend) {
  Motor m;
  m.p.SetControlePorta(true);
  std::vector<std::string> enviados;
  std::vector<bool> portaAberta;
  m.p.OnEnviarStringDevice = [&](const std::string& dados, bool&) {
    enviados.push_back(dados);
    portaAberta.push_back(m.p.Device().Ativo());
  };
  m.p.Imprimir("abc", false, true, true, 2);
  EXPECT_TRUE(m.p.Ativo());
  EXPECT_FALSE(m.p.Device().Ativo());
  // Closing a port that is not serial makes the next copy initialize again.
  ASSERT_EQ(enviados.size(), 2u);
  EXPECT_EQ(enviados[0], kInit + "abc");
  EXPECT_EQ(enviados[1], kInit + "abc");
  EXPECT_EQ(portaAberta, (std::vector<bool>{true, true}));
  // Each activation of a file port starts the file anew.
  EXPECT_EQ(m.Impresso(), kInit + "abc");
  EXPECT_FALSE(m.p.InicializacaoEnviada());
}

TEST(PosPrinterEngine, ControlePortaClosesThePortWhenTheSendFails) {
  Motor m;
  m.p.SetControlePorta(true);
  int chamadas = 0;
  m.p.OnEnviarStringDevice = [&](const std::string&, bool&) {
    ++chamadas;
    throw EPosPrinterException("falhou");
  };
  EXPECT_THROW(m.p.Imprimir("abc", false, true, true, 3), EPosPrinterException);
  EXPECT_EQ(chamadas, 1);  // a failed copy stops the others
  EXPECT_FALSE(m.p.Device().Ativo());
  EXPECT_TRUE(m.p.Ativo());
}

TEST(PosPrinterEngine, SendEventThatHandlesTheDataKeepsItFromTheDevice) {
  Motor m(true, true);
  m.p.Ativar();
  m.p.OnEnviarStringDevice = [](const std::string&, bool& tratado) { tratado = true; };
  m.p.Imprimir("abc");
  EXPECT_EQ(m.Impresso(), "");
  const auto linhas = LinhasLog(m.log);
  EXPECT_EQ(linhas.back(), kPrefixo + "OnEnviarStringDevice( {ESP}{PC2}abc)");
}

TEST(PosPrinterEngine, SendEventStillOpensThePortFirst) {
  Motor m;
  m.p.Ativar();
  m.p.DesativarPorta();
  EXPECT_FALSE(m.p.Device().Ativo());
  bool abertaNoEvento = false;
  m.p.OnEnviarStringDevice = [&](const std::string&, bool& tratado) {
    abertaNoEvento = m.p.Device().Ativo();
    tratado = true;
  };
  m.p.Imprimir("abc");
  EXPECT_TRUE(abertaNoEvento);
  EXPECT_TRUE(m.p.Device().Ativo());
}

TEST(PosPrinterEngine, BufferPrintsByItselfPastLinhasBuffer) {
  Motor m;
  m.p.Ativar();
  m.p.SetLinhasBuffer(2);
  m.p.Buffer().Add("1");
  m.p.Buffer().Add("2");
  EXPECT_EQ(std::filesystem::file_size(m.saida), 0u);
  m.p.Buffer().Add("3");
  EXPECT_EQ(m.Impresso(), kInit + "1\r\n2\r\n3\r\n");
  EXPECT_TRUE(m.p.Buffer().Empty());
  m.p.Buffer().Add("4");
  EXPECT_EQ(m.p.Buffer().Count(), 1u);
}

TEST(PosPrinterEngine, BufferWithoutLimitNeverPrintsByItself) {
  Motor m;
  m.p.Ativar();
  for (int i = 0; i < 500; ++i) m.p.Buffer().Add("linha");
  EXPECT_EQ(m.p.Buffer().Count(), 500u);
  EXPECT_EQ(m.Impresso(), "");
}

TEST(PosPrinterEngine, AutomaticFlushOfAnInactiveEngineRaisesAndEmptiesTheBuffer) {
  Motor m;
  m.p.SetLinhasBuffer(1);
  m.p.Buffer().Add("1");
  EXPECT_THROW(m.p.Buffer().Add("2"), EPosPrinterException);
  EXPECT_TRUE(m.p.Buffer().Empty());
}

TEST(PosPrinterEngine, ModelSwitching) {
  Motor m(false, true);
  m.p.Ativar();
  // The same model again: no log, still active.
  const auto antes = LinhasLog(m.log).size();
  m.p.SetModelo(TPosPrinterModelo::ppTexto);
  EXPECT_TRUE(m.p.Ativo());
  EXPECT_EQ(LinhasLog(m.log).size(), antes);
  // Another model: deactivated, logged, and the command set of the table.
  m.p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  EXPECT_FALSE(m.p.Ativo());
  EXPECT_FALSE(m.p.Device().Ativo());
  EXPECT_EQ(m.p.Modelo(), TPosPrinterModelo::ppEscPosEpson);
  EXPECT_EQ(m.p.ConjuntoComandos().NomeModelo, "Teste");
  EXPECT_EQ(LinhasLog(m.log).back(), kPrefixo + "SetModelo(ppEscPosEpson)");
  m.p.SetModelo(TPosPrinterModelo::ppEscGPrinter);
  EXPECT_EQ(m.p.ConjuntoComandos().NomeModelo, "Texto");
  EXPECT_EQ(LinhasLog(m.log).back(), kPrefixo + "SetModelo(ppEscGPrinter)");
}

TEST(PosPrinterEngine, SystemModelTableBuildsACommandSetForEveryModel) {
  TPosPrinter p;
  for (int i = 0; i <= static_cast<int>(TPosPrinterModelo::ppEscGPrinter); ++i) {
    const auto modelo = static_cast<TPosPrinterModelo>(i);
    p.SetModelo(modelo);
    EXPECT_EQ(p.Modelo(), modelo);
    EXPECT_FALSE(p.ConjuntoComandos().NomeModelo.empty()) << NomeModeloEnum(modelo);
  }
  EXPECT_EQ(NomeModeloEnum(TPosPrinterModelo::ppEscZJiang), "ppEscZJiang");
  EXPECT_EQ(NomeModeloEnum(TPosPrinterModelo::ppCustomPos), "ppCustomPos");
}

TEST(PosPrinterEngine, SetAtivo) {
  Motor m;
  m.p.SetAtivo(true);
  EXPECT_TRUE(m.p.Ativo());
  EXPECT_TRUE(m.p.Device().Ativo());
  m.p.SetAtivo(true);
  EXPECT_EQ(m.cc().Ativacoes, 1);
  m.p.SetAtivo(false);
  EXPECT_FALSE(m.p.Ativo());
  EXPECT_FALSE(m.p.Device().Ativo());
}

TEST(PosPrinterEngine, DeviceErrorsPassOutOfActivation) {
  TempDir dir;
  TPosPrinter p;
  p.SetPorta(dir / "falta/saida.txt");
  EXPECT_ANY_THROW(p.Ativar());
  EXPECT_FALSE(p.Ativo());
  TPosPrinter semPorta;
  EXPECT_ANY_THROW(semPorta.Ativar());
  EXPECT_FALSE(semPorta.Ativo());
  // With ControlePorta the print activates by itself, and fails the same way.
  semPorta.SetControlePorta(true);
  semPorta.Buffer().Add("x");
  EXPECT_ANY_THROW(semPorta.Imprimir());
  EXPECT_TRUE(semPorta.Buffer().Empty());
}

TEST(PosPrinterEngine, PrinterCheckRunsFirstAndStopsThePrint) {
  Motor m;
  m.p.Ativar();
  int verificacoes = 0;
  m.p.SetVerificadorImpressora([&](TPosPrinter&) {
    ++verificacoes;
    throw EPosPrinterException("Impressora Sem Papel");
  });
  m.p.Buffer().Add("a");
  m.p.Imprimir("b");  // the check is off
  EXPECT_EQ(verificacoes, 0);
  m.p.SetVerificarImpressora(true);
  m.p.Buffer().Add("c");
  EXPECT_THROW(m.p.Imprimir("d"), EPosPrinterException);
  EXPECT_EQ(verificacoes, 1);
  EXPECT_TRUE(m.p.Buffer().Empty());
  EXPECT_EQ(m.Impresso(), kInit + "a\r\nb");
}

TEST(PosPrinterEngine, CommandSetErrorsStopThePrintBeforeAnythingIsSent) {
  Motor m;
  m.p.Ativar();
  EXPECT_THROW(m.p.Imprimir("antes<bmp>/nao/existe.bmp</bmp>"), EPosPrinterException);
  EXPECT_EQ(m.Impresso(), "");
}

// --- Printer state after a failed print ------------------------------------

// An active engine with the system's Epson command set, printing to a file.
struct MotorEpson {
  TempDir dir;
  TPosPrinter p;
  std::string saida = dir / "epson.txt";
  MotorEpson() {
    p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
    p.SetPorta(saida);
    p.Ativar();
  }
  std::string Impresso() const { return testing_bytes::Hex(ReadFile(saida)); }
};

// ESC 2 (default line spacing) and ESC t 2 (pc850).
const std::string kInitEpson = "1B 32 1B 74 02";

// A reset in the text wipes the code table and the line spacing: the
// initialization must come after the text's last reset, not in front of it.
// pc850: "\xE3" (a with tilde) is C6, "\xE9" (e acute) is 82.
TEST(PosPrinterReset, TheInitializationFollowsTheLastResetOfTheText) {
  const struct {
    const char* antes;  // printed first, when not empty
    std::string texto;
    int copias;
    std::string bytes;  // the whole file
    bool inicializada;  // InicializacaoEnviada afterwards
  } casos[] = {
      {"", "</reset>\xE3", 1, "1B 40 " + kInitEpson + " C6", true},
      // Text before the reset on a printer not yet initialized: both.
      {"", "\xE9</reset>\xE3", 1, kInitEpson + " 82 1B 40 " + kInitEpson + " C6", true},
      // Already initialized: only after the reset; only the last reset counts.
      {"x", "a</reset>b</RESET>\xE3", 1, kInitEpson + " 78 61 1B 40 62 1B 40 " + kInitEpson + " C6", true},
      // Every copy resets the printer, so every copy initializes after it.
      {"", "</reset>\xE3", 2, "1B 40 " + kInitEpson + " C6 1B 40 " + kInitEpson + " C6", true},
      // A "</zera>" after the reset initializes by itself.
      {"", "</reset>x</zera>\xE3", 1, "1B 40 78 1B 40 " + kInitEpson + " C6", true},
      // A reset after a "</zera>" still needs one.
      {"", "</zera>x</reset>\xE3", 1, "1B 40 " + kInitEpson + " 78 1B 40 " + kInitEpson + " C6", true},
      // Bytes of a barcode that look like a reset are no reset: 27 64 packs
      // to 1B 40.
      {"", "</reset><code128c>2764</code128c>", 1,
       "1B 40 " + kInitEpson + " 1D 77 02 1D 68 32 1D 48 00 1D 6B 49 04 7B 43 1B 40", true},
      // A reset written as text inside "<ignorar_tags>" is text.
      {"x", "<ignorar_tags></reset></ignorar_tags>", 1, kInitEpson + " 78 3C 2F 72 65 73 65 74 3E", true},
      // The reset alone: sent alone, and the next text initializes.
      {"", "</reset>", 1, "1B 40", false},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.texto);
    MotorEpson m;
    if (*caso.antes) m.p.Imprimir(caso.antes);
    m.p.Imprimir(caso.texto, false, true, true, caso.copias);
    EXPECT_EQ(m.Impresso(), caso.bytes);
    EXPECT_EQ(m.p.InicializacaoEnviada(), caso.inicializada);
  }
}

TEST(PosPrinterReset, AfterTheResetTheNextPrintNeedsNoInitialization) {
  MotorEpson m;
  m.p.Imprimir("</reset>\xE3", true);
  m.p.Imprimir("\xE3");
  EXPECT_EQ(m.Impresso(), "1B 40 " + kInitEpson + " C6 0A C6");
}

TEST(PosPrinterEpson, AnEmptyQrCodeSendsNothing) {
  MotorEpson m;
  m.p.Imprimir("<qrcode></qrcode>");
  EXPECT_EQ(m.Impresso(), "");
  m.p.Imprimir("a<qrcode></qrcode>b");
  EXPECT_EQ(m.Impresso(), kInitEpson + " 61 62");
}

// Whatever made a print fail, the engine forgets the font state and the
// initialization that the failed text would have set: the next print starts
// with the initialization and from plain text.
TEST(PosPrinterFailure, ThePrintAfterAFailureInitializesAndStartsFromPlainText) {
  // noTexto: the failure is the text's (FalhouNoTexto), not the printer's.
  const struct {
    const char* nome;
    bool noTexto;
    std::function<void(MotorEpson&)> falhar;
  } casos[] = {
      {"missing picture", true,
       [](MotorEpson& m) {
         EXPECT_THROW(m.p.Imprimir("</zera></ce><mp><n>abc<bmp>/nao/existe.bmp</bmp>"), EPosPrinterException);
       }},
      {"barcode the printer cannot carry", true,
       [](MotorEpson& m) {
         EXPECT_THROW(m.p.Imprimir("</zera></fb><in><code128>" + std::string(300, '7') + "</code128>"),
                      EPosPrinterException);
       }},
      {"send that fails", false,
       [](MotorEpson& m) {
         m.p.OnEnviarStringDevice = [](const std::string&, bool&) { throw EPosPrinterException("porta caiu"); };
         EXPECT_THROW(m.p.Imprimir("<n><e>abc"), EPosPrinterException);
         m.p.OnEnviarStringDevice = nullptr;
       }},
      {"second copy that fails", false,
       [](MotorEpson& m) {
         int envios = 0;
         m.p.OnEnviarStringDevice = [&envios](const std::string&, bool&) {
           if (++envios == 2) throw EPosPrinterException("porta caiu");
         };
         EXPECT_THROW(m.p.Imprimir("</zera><s><a>abc", false, true, true, 2), EPosPrinterException);
         m.p.OnEnviarStringDevice = nullptr;
       }},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.nome);
    MotorEpson m;
    caso.falhar(m);
    EXPECT_EQ(m.p.FalhouNoTexto(), caso.noTexto);
    EXPECT_EQ(m.p.EstadoFonte().Bits(), 1u);
    EXPECT_FALSE(m.p.InicializacaoEnviada());
    EXPECT_EQ(m.p.AlinhamentoAtual(), 0);
    EXPECT_FALSE(m.p.ModoPaginaLigado());
    const std::string antes = m.Impresso();
    m.p.Imprimir("<e>x</e>");
    const std::string depois = m.Impresso();
    // Expanded alone, then plain again: 1B 21 20, "x", 1B 21 00.
    EXPECT_EQ(depois.substr(antes.empty() ? 0 : antes.size() + 1), kInitEpson + " 1B 21 20 78 1B 21 00");
    EXPECT_TRUE(m.p.InicializacaoEnviada());
  }
}

// A print refused before anything was translated leaves the state alone.
TEST(PosPrinterFailure, AStoppedPrinterCheckKeepsTheStateOfTheLastPrint) {
  MotorEpson m;
  m.p.Imprimir("<n>");
  m.p.SetVerificadorImpressora([](TPosPrinter&) { throw EPosPrinterException("Impressora Sem Papel"); });
  m.p.SetVerificarImpressora(true);
  EXPECT_THROW(m.p.Imprimir("<e>x"), EPosPrinterException);
  EXPECT_FALSE(m.p.FalhouNoTexto());
  EXPECT_TRUE(m.p.EstadoFonte().Contem(TPosAtributoFonte::afNegrito));
  EXPECT_TRUE(m.p.InicializacaoEnviada());
}

// --- Log ---------------------------------------------------------------------

TEST(PosPrinterLog, ActivationPrintAndDeactivationLines) {
  Motor m(false, true);
  m.p.Ativar();
  m.p.Imprimir("<n>ab</n>\r\n");
  m.p.Desativar();
  const std::vector<std::string> esperado = {
      "",
      kTracos,
      "ATIVAR - 08/12/26 14:03:27:915",
      "  - Modelo.: Texto",
      "  - TimeOut: 3",
      "  - Arquivo: " + m.saida,
      kTracos,
      "",
      kPrefixo + "Imprimir, Copias:1, DecodificarTags:SIM, TraduzirTags:SIM",
      kPrefixo + "<n>ab</n>[CR][LF]",
      kPrefixo + "TraduzirTag(<n>) -> ",
      kPrefixo + "TraduzirTag(</n>) -> ",
      kPrefixo + "EnviarStringDevice - Inicializando: ",
      kPrefixo + "EnviarStringDevice( ab[CR][LF])",
      "",
      kTracos,
      "DESATIVAR - 08/12/26 14:03:27:915",
      kTracos,
      "",
  };
  EXPECT_EQ(LinhasLog(m.log), esperado);
}

TEST(PosPrinterLog, TheDeviceWritesToTheSameLogFile) {
  Motor m(false, true);
  EXPECT_EQ(m.p.Device().ArqLOG(), m.log);
  m.p.Ativar();
  m.p.Imprimir("abc");
  const std::string log = ReadFile(m.log);
  EXPECT_NE(log.find(" Ativar - Porta:" + m.saida + "\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" EnviaString(abc)\r\n"), std::string::npos) << log;
  m.p.SetArqLOG("");
  EXPECT_EQ(m.p.Device().ArqLOG(), "");
}

TEST(PosPrinterLog, EmptyPrintWritesItsTwoEntriesAndSendsNothing) {
  Motor m(true, true);
  m.p.Ativar();
  const auto antes = LinhasLog(m.log).size();
  m.p.Imprimir("", false, false, true, 3);
  const auto linhas = LinhasLog(m.log);
  ASSERT_EQ(linhas.size(), antes + 2);
  EXPECT_EQ(linhas[antes], kPrefixo + "Imprimir, Copias:3, DecodificarTags:NAO, TraduzirTags:SIM");
  EXPECT_EQ(linhas[antes + 1], kPrefixo);
  EXPECT_EQ(m.Impresso(), "");
}

TEST(PosPrinterLog, BlockTranslationBufferFlushAndPortLines) {
  Motor m(true, true);
  m.p.SetControlePorta(true);
  m.p.SetLinhasBuffer(1);
  m.p.Buffer().Add("<ce>a</ce>");
  m.p.Buffer().Add("\x1B");
  const auto linhas = LinhasLog(m.log);
  auto tem = [&](const std::string& l) { return std::find(linhas.begin(), linhas.end(), l) != linhas.end(); };
  EXPECT_TRUE(tem(kPrefixo + "Esvaziando Buffer: 2 linhas"));
  EXPECT_TRUE(tem("  - Modelo.: Teste"));
  EXPECT_TRUE(tem(kPrefixo + "<ce>a</ce>[CR][LF][ESC][CR][LF]"));
  EXPECT_TRUE(tem(kPrefixo + "TraduzirTagBloco(<ce>, a) -> " + CentralizarTexto("a", 48)));
  EXPECT_TRUE(tem(kPrefixo + "Desativando a porta: " + m.saida));
  EXPECT_TRUE(tem(kPrefixo + "EnviarStringDevice - Inicializando: {ESP}{PC2}"));
  // The activation by the print opened the device; the send closed it.
  EXPECT_EQ(linhas.back(), kPrefixo + "Desativando a porta: " + m.saida);
}

TEST(PosPrinterLog, GravarLogEventSeesTheLineWithoutTimeAndMayTakeIt) {
  Motor m(true, true);
  std::vector<std::string> vistos;
  m.p.OnGravarLog = [&](const std::string& linha, bool& tratado) {
    vistos.push_back(linha);
    tratado = StartsText("Imprimir", linha);
  };
  m.p.Ativar();
  m.p.Imprimir("\x1Bz");
  ASSERT_GE(vistos.size(), 3u);
  EXPECT_EQ(vistos[1], "Imprimir, Copias:1, DecodificarTags:SIM, TraduzirTags:SIM");
  EXPECT_EQ(vistos[2], "[ESC]z");
  const auto linhas = LinhasLog(m.log);
  for (const auto& l : linhas) EXPECT_EQ(l.find("Imprimir,"), std::string::npos) << l;
  EXPECT_EQ(linhas.back(), kPrefixo + "EnviarStringDevice( {ESP}{PC2}[ESC]z)");
}

TEST(PosPrinterLog, EventAloneReceivesEntriesWithoutALogFile) {
  Motor m;
  int entradas = 0;
  m.p.OnGravarLog = [&](const std::string&, bool&) { ++entradas; };
  m.p.Ativar();
  m.p.Imprimir("x");
  EXPECT_GE(entradas, 4);
  EXPECT_FALSE(std::filesystem::exists(m.log));
}

TEST(PosPrinterLog, AFailingLogFileDoesNotStopPrinting) {
  Motor m;
  m.p.SetArqLOG(m.dir / "nao/existe/engine.log");
  m.p.Ativar();
  m.p.Imprimir("ok");
  EXPECT_EQ(m.Impresso(), kInit + "ok");
}

// --- USB hooks ---------------------------------------------------------------
// The binding of the device to a hook object, with hook classes of the test's
// own (the makers' classes are tested with their libraries' stand-ins in
// PosPrinterHookTest.cpp).

std::vector<std::string>* eventosHook = nullptr;

class HookTeste : public TPosPrinterHook {
 public:
  HookTeste() { nomeMarca_ = NomeMarcaClasse(); }
  ~HookTeste() override {
    FinalizarAoDestruir();
    eventosHook->push_back("destruido");
  }
  std::string NomeClasse() const override { return "HookTeste"; }
  void Inicializar() override {
    eventosHook->push_back("Inicializar");
    TPosPrinterHook::Inicializar();
  }
  void Abrir(const std::string& p) override {
    eventosHook->push_back("Abrir(" + p + ")");
    TPosPrinterHook::Abrir(p);
  }
  void Fechar() override {
    if (EstaConectada()) eventosHook->push_back("Fechar");
    TPosPrinterHook::Fechar();
  }
  void Enviar(const std::string& c) override {
    TPosPrinterHook::Enviar(c);
    eventosHook->push_back("Enviar(" + c + ")");
  }
  void Ler(int n, int t, std::string& r) override {
    TPosPrinterHook::Ler(n, t, r);
    r = "R";
  }
  static std::string NomeMarcaClasse() { return "TESTE"; }
  static bool BibliotecaDisponivel() { return false; }
};

// Two more brands, one whose library is there and one whose is not.
template <bool Disponivel>
class HookMarcaTeste : public HookTeste {
 public:
  HookMarcaTeste() { nomeMarca_ = NomeMarcaClasse(); }
  static std::string NomeMarcaClasse() { return Disponivel ? "DISP" : "INDISP"; }
  static bool BibliotecaDisponivel() { return Disponivel; }
};

// Registers test hook classes for one test, with the makers' libraries out
// of reach (an empty library folder), and takes them out again.
class HooksDeTeste {
 public:
  explicit HooksDeTeste(std::vector<std::string>& eventos) {
    eventosHook = &eventos;
    TPosPrinterHook::SetPastaBibliotecas(vazia_.Path().string());
  }
  ~HooksDeTeste() {
    RemoverClasseHook(typeid(HookTeste));
    RemoverClasseHook(typeid(HookMarcaTeste<true>));
    RemoverClasseHook(typeid(HookMarcaTeste<false>));
    TPosPrinterHook::SetPastaBibliotecas("");
  }

 private:
  TempDir vazia_;
};

TEST(PosPrinterHooks, HookPortBindsTheDeviceToTheHookOfItsBrand) {
  std::vector<std::string> ev;
  HooksDeTeste hooks(ev);
  RegistrarClasseHook<HookTeste>();
  TPosPrinter p(FabricaTeste);
  p.SetPorta("USB:teste");
  p.Ativar();
  // The hook names the model whose command set prints through it.
  EXPECT_EQ(p.Modelo(), TPosPrinterModelo::ppEscPosEpson);
  p.Imprimir("x");
  EXPECT_EQ(p.TransmitirReceber("?", 1, 100, false), "R");
  p.Desativar();
  EXPECT_EQ(ev, (std::vector<std::string>{"Inicializar", "Abrir(USB:teste)", "Enviar({ESP}{PC2}x)", "Enviar(?)",
                                          "Fechar"}));
  // Another port releases the hook.
  TempDir dir;
  p.SetPorta(dir / "a.txt");
  p.Ativar();
  EXPECT_EQ(ev.back(), "destruido");
}

TEST(PosPrinterHooks, UnknownBrandAndNoLibrary) {
  std::vector<std::string> ev;
  HooksDeTeste hooks(ev);
  TPosPrinter p;
  p.SetPorta("USB:NENHUMA");
  try {
    p.Ativar();
    FAIL();
  } catch (const EPosPrinterException& e) {
    EXPECT_EQ(e.Message(), "Marca NENHUMA, n\xE3o tem suporte em modo USB");
  }
  EXPECT_FALSE(p.Ativo());
  // No library beside the program, and the test's brand has none either.
  RegistrarClasseHook<HookTeste>();
  TPosPrinter q;
  q.SetPorta("USB");
  try {
    q.Ativar();
    FAIL();
  } catch (const EPosPrinterException& e) {
    EXPECT_EQ(e.Message(), "Nenhuma biblioteca de modo USB encontrada");
  }
  EXPECT_FALSE(q.Ativo());
  EXPECT_TRUE(ev.empty());
}

TEST(PosPrinterHooks, WithoutBrandTheFirstAvailableLibraryIsUsed) {
  std::vector<std::string> ev;
  HooksDeTeste hooks(ev);
  RegistrarClasseHook<HookMarcaTeste<false>>();
  RegistrarClasseHook<HookMarcaTeste<true>>();
  {
    TPosPrinter p;
    p.SetPorta("DLL");
    p.Ativar();
    EXPECT_EQ(ev, (std::vector<std::string>{"Inicializar", "Abrir(DLL)"}));
  }
  // The engine going away closes and frees the hook.
  EXPECT_EQ(ev, (std::vector<std::string>{"Inicializar", "Abrir(DLL)", "Fechar", "destruido"}));
}

}  // namespace
}  // namespace bilhetor
