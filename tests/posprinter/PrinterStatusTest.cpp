// Reading the printer status through the engine, against the simulated
// ESC/POS printer on a loopback TCP port and on a socat pty.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "posprinter/EscPosEpson.h"
#include "posprinter/PosPrinter.h"
#include "posprinter/PosStatus.h"
#include "support/EscPosBytes.h"
#include "support/EscPosPrinterSim.h"
#include "support/TestSupport.h"
#include "SerialTeste.h"

namespace bilhetor {
namespace {

using testing::EscPosPrinterSim;
using testing::EstadoImpressoraSim;
using testing_bytes::H;
using St = TPosTipoStatus;

TPosStatus Conjunto(std::initializer_list<St> flags) {
  TPosStatus s;
  for (St f : flags) s.Incluir(f);
  return s;
}

// An Epson engine wired to a simulated printer; the log lines (without their
// time prefix) are collected.
class Bancada {
 public:
  explicit Bancada(bool serial) {
    impressora.SetModelo(TPosPrinterModelo::ppEscPosEpson);
    impressora.OnGravarLog = [this](const std::string& linha, bool&) { log.push_back(linha); };
    if (serial) {
      impressora.SetPorta(sim.IniciarPty());
    } else {
      sim.IniciarTcp();
      impressora.SetPorta(sim.NomePortaTcp());
    }
  }

  bool Registrou(const std::string& linha) const {
    for (const std::string& l : log)
      if (l == linha) return true;
    return false;
  }

  EscPosPrinterSim sim;
  TPosPrinter impressora;
  std::vector<std::string> log;
};

struct CasoStatus {
  const char* nome;
  EstadoImpressoraSim estado;
  TPosStatus esperado;
};

EstadoImpressoraSim Com(void (*ajuste)(EstadoImpressoraSim&)) {
  EstadoImpressoraSim e;
  ajuste(e);
  return e;
}

std::vector<CasoStatus> Casos() {
  return {
      {"pronta", EstadoImpressoraSim(), TPosStatus()},
      {"tampa", Com([](EstadoImpressoraSim& e) { e.tampaAberta = true; }),
       Conjunto({St::stOffLine, St::stTampaAberta})},
      {"sem_papel", Com([](EstadoImpressoraSim& e) { e.semPapel = true; }),
       Conjunto({St::stPoucoPapel, St::stSemPapel, St::stOffLine})},
      {"pouco_papel", Com([](EstadoImpressoraSim& e) { e.poucoPapel = true; }), Conjunto({St::stPoucoPapel})},
      {"gaveta", Com([](EstadoImpressoraSim& e) { e.gavetaAberta = true; }), Conjunto({St::stGavetaAberta})},
      {"off_line", Com([](EstadoImpressoraSim& e) { e.offLine = true; }), Conjunto({St::stOffLine})},
      {"erro", Com([](EstadoImpressoraSim& e) { e.erro = true; }), Conjunto({St::stErro, St::stOffLine})},
      {"alimentando", Com([](EstadoImpressoraSim& e) { e.alimentando = true; }), Conjunto({St::stImprimindo})},
      {"silenciosa", Com([](EstadoImpressoraSim& e) { e.silenciosa = true; }), Conjunto({St::stErroLeitura})},
  };
}

TEST(PrinterStatus, DecodesEveryStateOverTcp) {
  Bancada b(false);
  for (const CasoStatus& caso : Casos()) {
    SCOPED_TRACE(caso.nome);
    b.sim.SetEstado(caso.estado);
    b.sim.LimparRegistro();
    const TPosStatus s = LerStatusImpressora(b.impressora);
    EXPECT_EQ(TextoStatus(s), TextoStatus(caso.esperado));
    // Three queries, or one when the first went unanswered.
    EXPECT_EQ(b.sim.ConsultasStatus(), caso.estado.silenciosa ? 1 : 3);
    EXPECT_EQ(b.sim.Impresso(), "");
  }
}

TEST(PrinterStatus, DecodesOverASerialPty) {
  if (SerialSimuladaIndisponivel()) GTEST_SKIP() << SerialSimuladaIndisponivel();
  Bancada b(true);
  for (const CasoStatus& caso : Casos()) {
    if (std::string(caso.nome) != "tampa" && std::string(caso.nome) != "sem_papel" &&
        std::string(caso.nome) != "silenciosa" && std::string(caso.nome) != "pronta")
      continue;
    SCOPED_TRACE(caso.nome);
    b.sim.SetEstado(caso.estado);
    EXPECT_EQ(TextoStatus(LerStatusImpressora(b.impressora)), TextoStatus(caso.esperado));
  }
  EXPECT_EQ(b.sim.Recebido().substr(0, 3), H("10 04 01"));
}

TEST(PrinterStatus, RepliesOfTheFirstQuery) {
  // 12 hex to the first query (bits 1 and 4) adds only the open drawer.
  Bancada b(false);
  EstadoImpressoraSim e;
  e.respostaStatus1 = 0x12;
  b.sim.SetEstado(e);
  EXPECT_EQ(LerStatusImpressora(b.impressora), Conjunto({St::stGavetaAberta}));
}

TEST(PrinterStatus, RetriesUnreadableAnswers) {
  Bancada b(false);
  EstadoImpressoraSim e;
  e.semPapel = true;
  e.consultasSemResposta = 1;
  b.sim.SetEstado(e);
  // The first attempt loses its first query; the second reads all three.
  EXPECT_EQ(LerStatusImpressora(b.impressora, 3), Conjunto({St::stPoucoPapel, St::stSemPapel, St::stOffLine}));
  EXPECT_EQ(b.sim.ConsultasStatus(), 4);
  EXPECT_TRUE(b.Registrou("LerStatusImpressora( 3 )"));

  // Every attempt unanswered: the last answer, with stErroLeitura.
  b.sim.LimparRegistro();
  e.consultasSemResposta = 10;
  b.sim.SetEstado(e);
  EXPECT_EQ(LerStatusImpressora(b.impressora, 2), Conjunto({St::stErroLeitura}));
  EXPECT_EQ(b.sim.ConsultasStatus(), 2);

  // 0 and negative counts mean one attempt, and the log says so.
  b.sim.LimparRegistro();
  b.log.clear();
  EXPECT_EQ(LerStatusImpressora(b.impressora, 0), Conjunto({St::stErroLeitura}));
  EXPECT_EQ(b.sim.ConsultasStatus(), 1);
  EXPECT_TRUE(b.Registrou("LerStatusImpressora( 1 )"));
  EXPECT_TRUE(b.Registrou("   stErroLeitura, "));
  LerStatusImpressora(b.impressora, -7);
  EXPECT_EQ(b.sim.ConsultasStatus(), 2);
}

TEST(PrinterStatus, InvertedDrawerSignal) {
  Bancada b(false);
  b.impressora.ConfigGaveta().SinalInvertido = true;
  // Drawer reported closed: open after the correction.
  EXPECT_EQ(LerStatusImpressora(b.impressora), Conjunto({St::stGavetaAberta}));
  EstadoImpressoraSim e;
  e.gavetaAberta = true;
  e.poucoPapel = true;
  b.sim.SetEstado(e);
  EXPECT_EQ(LerStatusImpressora(b.impressora), Conjunto({St::stPoucoPapel}));
}

TEST(PrinterStatus, LeavesTheEngineAsItFoundIt) {
  Bancada b(false);
  ASSERT_FALSE(b.impressora.Ativo());
  EXPECT_TRUE(LerStatusImpressora(b.impressora).Vazio());
  EXPECT_FALSE(b.impressora.Ativo());
  EXPECT_EQ(b.sim.Conexoes(), 1);
  // The activation and deactivation blocks frame the query in the log.
  bool ativou = false, desativou = false;
  for (const std::string& l : b.log) {
    if (l.find("ATIVAR - ") != std::string::npos) ativou = true;
    if (l.find("DESATIVAR - ") != std::string::npos) desativou = true;
  }
  EXPECT_TRUE(ativou);
  EXPECT_TRUE(desativou);

  b.impressora.Ativar();
  EXPECT_TRUE(LerStatusImpressora(b.impressora).Vazio());
  EXPECT_TRUE(b.impressora.Ativo());
  EXPECT_EQ(b.sim.Conexoes(), 2);
  b.impressora.Desativar();
}

TEST(PrinterStatus, APrinterThatCannotBeReachedRaisesAndLeavesTheEngineInactive) {
  TPosPrinter impressora;
  impressora.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  std::vector<std::string> log;
  impressora.OnGravarLog = [&](const std::string& l, bool&) { log.push_back(l); };
  impressora.SetPorta("TCP:127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()));
  EXPECT_ANY_THROW(LerStatusImpressora(impressora));
  EXPECT_FALSE(impressora.Ativo());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "LerStatusImpressora( 1 )");
  // With the check on, the same failure stops the print and empties the buffer.
  impressora.SetVerificarImpressora(true);
  impressora.SetControlePorta(true);
  impressora.Buffer().Add("x");
  EXPECT_ANY_THROW(impressora.Imprimir());
  EXPECT_EQ(impressora.Buffer().Count(), 0u);
}

TEST(PrinterStatus, LogsTheFlagsInBitOrder) {
  Bancada b(false);
  EstadoImpressoraSim e;
  e.semPapel = true;
  b.sim.SetEstado(e);
  LerStatusImpressora(b.impressora);
  EXPECT_TRUE(b.Registrou("LerStatusImpressora( 1 )"));
  EXPECT_TRUE(b.Registrou("   stPoucoPapel, stSemPapel, stOffLine, "));
  // A ready printer logs no flag line.
  b.sim.SetEstado(EstadoImpressoraSim());
  b.log.clear();
  LerStatusImpressora(b.impressora);
  for (const std::string& l : b.log) EXPECT_NE(l.substr(0, 3), "   ") << l;
}

TEST(PrinterStatus, PortsThatCannotBeQueriedSendNothing) {
  testing::TempDir dir;
  const std::string arquivo = dir / "saida.txt";
  TPosPrinter impressora;
  impressora.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  std::vector<std::string> log;
  impressora.OnGravarLog = [&](const std::string& l, bool&) { log.push_back(l); };

  for (const std::string& porta : {std::string("RAW:FilaQueNaoExiste"), arquivo}) {
    SCOPED_TRACE(porta);
    log.clear();
    impressora.SetPorta(porta);
    EXPECT_EQ(LerStatusImpressora(impressora, 3), Conjunto({St::stNaoSerial}));
    EXPECT_FALSE(impressora.Ativo());
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "LerStatusImpressora( 3 )");
    EXPECT_EQ(log[1], "   stNaoSerial, ");
  }
  EXPECT_FALSE(std::filesystem::exists(arquivo));
  // The check before printing lets such ports print.
  impressora.SetVerificarImpressora(true);
  impressora.Ativar();
  impressora.Imprimir("abc");
  impressora.Desativar();
  EXPECT_EQ(testing::ReadFile(arquivo), H("1B 32 1B 74 02") + "abc");
}

TEST(PrinterStatus, ReasonsThatStopAPrint) {
  EXPECT_EQ(MotivoImpressoraParada(Conjunto({St::stSemPapel, St::stTampaAberta})), "com Tampa Aberta");
  EXPECT_EQ(MotivoImpressoraParada(Conjunto({St::stSemPapel, St::stOffLine, St::stErro})), "Sem Papel");
  EXPECT_EQ(MotivoImpressoraParada(Conjunto({St::stOffLine, St::stErro})), "Desligada");
  EXPECT_EQ(MotivoImpressoraParada(Conjunto({St::stErro})), "em Erro");
  EXPECT_EQ(MotivoImpressoraParada(Conjunto({St::stNaoSerial, St::stPoucoPapel, St::stGavetaAberta,
                                             St::stImprimindo, St::stErroLeitura})),
            "");
  EXPECT_EQ(TextoStatus(Conjunto({St::stErroLeitura, St::stErro, St::stNaoSerial})),
            "stErro, stNaoSerial, stErroLeitura, ");
  EXPECT_EQ(TextoStatus(TPosStatus()), "");
}

TEST(PrinterStatus, PrintIsRefusedInEveryStoppingState) {
  Bancada b(false);
  b.impressora.SetVerificarImpressora(true);
  b.impressora.Ativar();
  const struct {
    void (*ajuste)(EstadoImpressoraSim&);
    const char* mensagem;
  } casos[] = {
      {[](EstadoImpressoraSim& e) { e.tampaAberta = true; }, "Impressora com Tampa Aberta"},
      {[](EstadoImpressoraSim& e) { e.tampaAberta = e.semPapel = true; }, "Impressora com Tampa Aberta"},
      {[](EstadoImpressoraSim& e) { e.semPapel = true; }, "Impressora Sem Papel"},
      {[](EstadoImpressoraSim& e) { e.offLine = true; }, "Impressora Desligada"},
      {[](EstadoImpressoraSim& e) { e.respostaStatus1 = 0x36; }, "Impressora em Erro"},  // error bit only
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.mensagem);
    b.sim.SetEstado(Com(caso.ajuste));
    b.impressora.Buffer().Add("linha 1");
    b.impressora.Buffer().Add("linha 2");
    try {
      b.impressora.Imprimir("fim");
      ADD_FAILURE() << "printed";
    } catch (const EPosPrinterException& e) {
      EXPECT_EQ(e.Message(), caso.mensagem);
    }
    EXPECT_EQ(b.impressora.Buffer().Count(), 0u);
    EXPECT_TRUE(b.impressora.Ativo());
  }
  EXPECT_EQ(b.sim.Impresso(), "");
  b.impressora.Desativar();
}

TEST(PrinterStatus, PrintGoesOnInTheOtherStates) {
  Bancada b(false);
  b.impressora.SetVerificarImpressora(true);
  b.impressora.Ativar();
  const std::string init = H("1B 32 1B 74 02");
  std::string esperado;
  for (auto ajuste : {+[](EstadoImpressoraSim&) {}, +[](EstadoImpressoraSim& e) { e.poucoPapel = true; },
                      +[](EstadoImpressoraSim& e) { e.gavetaAberta = true; },
                      +[](EstadoImpressoraSim& e) { e.alimentando = true; },
                      +[](EstadoImpressoraSim& e) { e.silenciosa = true; }}) {
    b.sim.SetEstado(Com(ajuste));
    b.impressora.Buffer().Add("item");
    b.impressora.Imprimir();
    esperado += (esperado.empty() ? init : "") + "item" + H("0A");
  }
  ASSERT_TRUE(testing::WaitUntil([&] { return b.sim.Impresso().size() >= esperado.size(); },
                                 std::chrono::milliseconds(5000)));
  EXPECT_EQ(b.sim.Impresso(), esperado);
  b.impressora.Desativar();
}

TEST(PrinterStatus, PrintIsRefusedOverSerialToo) {
  if (SerialSimuladaIndisponivel()) GTEST_SKIP() << SerialSimuladaIndisponivel();
  Bancada b(true);
  b.impressora.SetVerificarImpressora(true);
  b.impressora.Ativar();
  EstadoImpressoraSim e;
  e.semPapel = true;
  b.sim.SetEstado(e);
  b.impressora.Buffer().Add("nada");
  EXPECT_THROW(b.impressora.Imprimir(), EPosPrinterException);
  EXPECT_EQ(b.impressora.Buffer().Count(), 0u);
  b.sim.SetEstado(EstadoImpressoraSim());
  b.impressora.Imprimir("ok");
  ASSERT_TRUE(b.sim.AguardarRecebido(1));
  EXPECT_TRUE(testing::WaitUntil([&] { return b.sim.Impresso().find("ok") != std::string::npos; }));
  EXPECT_EQ(b.sim.Impresso().find("nada"), std::string::npos);
  b.impressora.Desativar();
}

TEST(PrinterStatus, ASilentPrinterNeverHoldsTheCaller) {
  // Each unanswered query waits its 500 ms and no more: generous bounds
  // that only a hang, or a wait per query far beyond it, would exceed.
  for (bool serial : {false, true}) {
    SCOPED_TRACE(serial ? "serial" : "tcp");
    if (serial && SerialSimuladaIndisponivel()) GTEST_SKIP() << "tcp only: " << SerialSimuladaIndisponivel();
    Bancada b(serial);
    EstadoImpressoraSim e;
    e.silenciosa = true;
    b.sim.SetEstado(e);
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_EQ(LerStatusImpressora(b.impressora, 3), Conjunto({St::stErroLeitura}));
    const auto gasto = std::chrono::steady_clock::now() - inicio;
    EXPECT_EQ(b.sim.ConsultasStatus(), 3);
    EXPECT_LT(gasto, std::chrono::milliseconds(3 * 500 + 1500));
    EXPECT_FALSE(b.impressora.Ativo());
  }
}

TEST(PrinterStatus, IdentificationQueries) {
  Bancada b(false);
  b.impressora.Ativar();
  EXPECT_EQ(b.impressora.ConjuntoComandos().ConsultarInfo(),
            "Fabricante=EPSON\r\nFirmware=1.01 ESC/POS\r\nModelo=TM-T20\r\nSerial=X5E1234567\r\nGuilhotina=1\r\n");
  EstadoImpressoraSim e;
  e.guilhotina = false;
  e.modelo = "TM-T88V";
  b.sim.SetEstado(e);
  EXPECT_EQ(b.impressora.ConjuntoComandos().ConsultarInfo(),
            "Fabricante=EPSON\r\nFirmware=1.01 ESC/POS\r\nModelo=TM-T88V\r\nSerial=X5E1234567\r\nGuilhotina=0\r\n");
  // A printer that does not answer: the failure reaches the caller, in time.
  e.silenciosa = true;
  b.sim.SetEstado(e);
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_ANY_THROW(b.impressora.ConjuntoComandos().ConsultarInfo());
  EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::milliseconds(2500));
  b.impressora.Desativar();
}

}  // namespace
}  // namespace bilhetor
