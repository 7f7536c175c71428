// Status, identification and Daruma's activation of the Bematech, Elgin,
// Daruma and Custom command sets, against the simulated printer of each
// family on a loopback TCP port and on a socat pty.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "device/Device.h"
#include "posprinter/EscDaruma.h"
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
using testing::FamiliaSim;
using testing_bytes::H;
using St = TPosTipoStatus;
using M = TPosPrinterModelo;

TPosStatus Conjunto(std::initializer_list<St> flags) {
  TPosStatus s;
  for (St f : flags) s.Incluir(f);
  return s;
}

// An engine of the model wired to a simulated printer of the family; the
// log lines (without their time prefix) are collected.
class Bancada {
 public:
  Bancada(M modelo, FamiliaSim familia, bool serial) : familia_(familia) {
    SetEstado(EstadoImpressoraSim());
    impressora.SetModelo(modelo);
    impressora.OnGravarLog = [this](const std::string& linha, bool&) { log.push_back(linha); };
    if (serial) {
      impressora.SetPorta(sim.IniciarPty());
    } else {
      sim.IniciarTcp();
      impressora.SetPorta(sim.NomePortaTcp());
    }
  }
  ~Bancada() { impressora.Desativar(); }

  void SetEstado(EstadoImpressoraSim e) {
    e.familia = familia_;
    sim.SetEstado(e);
  }
  std::string Info() { return impressora.ConjuntoComandos().ConsultarInfo(); }
  // Activates the engine; a Daruma sends its programming command then, which
  // is waited for so that it does not land in a later test's record.
  void Ativar() {
    impressora.Ativar();
    if (familia_ == FamiliaSim::Daruma) {
      ASSERT_TRUE(testing::WaitUntil([&] { return sim.Impresso().size() >= 42; }, std::chrono::milliseconds(3000)));
    }
  }

  FamiliaSim familia_;
  EscPosPrinterSim sim;
  TPosPrinter impressora;
  std::vector<std::string> log;
};

// One printer state and what each family's command set reads from it.
struct CasoStatus {
  const char* nome;
  void (*ajuste)(EstadoImpressoraSim&);
  TPosStatus bematech, elgin, daruma;
};

const CasoStatus kCasos[] = {
    {"pronta", [](EstadoImpressoraSim&) {}, {}, {}, {}},
    {"tampa", [](EstadoImpressoraSim& e) { e.tampaAberta = true; }, Conjunto({St::stOffLine, St::stTampaAberta}),
     Conjunto({St::stOffLine, St::stTampaAberta}), Conjunto({St::stOffLine, St::stTampaAberta})},
    {"sem_papel", [](EstadoImpressoraSim& e) { e.semPapel = true; }, Conjunto({St::stSemPapel, St::stOffLine}),
     Conjunto({St::stSemPapel, St::stOffLine}), Conjunto({St::stSemPapel, St::stOffLine})},
    {"pouco_papel", [](EstadoImpressoraSim& e) { e.poucoPapel = true; }, Conjunto({St::stPoucoPapel}),
     Conjunto({St::stPoucoPapel}), Conjunto({St::stPoucoPapel})},
    {"gaveta", [](EstadoImpressoraSim& e) { e.gavetaAberta = true; }, Conjunto({St::stGavetaAberta}),
     Conjunto({St::stGavetaAberta}), Conjunto({St::stGavetaAberta})},
    {"off_line", [](EstadoImpressoraSim& e) { e.offLine = true; }, Conjunto({St::stOffLine}),
     Conjunto({St::stOffLine}), Conjunto({St::stOffLine})},
    // Elgin's one byte has no error and no busy bit.
    {"erro", [](EstadoImpressoraSim& e) { e.erro = true; }, Conjunto({St::stErro, St::stOffLine}),
     Conjunto({St::stOffLine}), Conjunto({St::stErro, St::stOffLine})},
    {"alimentando", [](EstadoImpressoraSim& e) { e.alimentando = true; }, Conjunto({St::stImprimindo}), {},
     Conjunto({St::stImprimindo})},
    {"silenciosa", [](EstadoImpressoraSim& e) { e.silenciosa = true; }, Conjunto({St::stErroLeitura}),
     Conjunto({St::stErroLeitura}), Conjunto({St::stErroLeitura})},
    // A reply cut short: the read runs into its time-out.
    {"curta", [](EstadoImpressoraSim& e) { e.bytesResposta = 0; }, Conjunto({St::stErroLeitura}),
     Conjunto({St::stErroLeitura}), Conjunto({St::stErroLeitura})},
    {"uma_de_cinco", [](EstadoImpressoraSim& e) { e.bytesResposta = 1; }, Conjunto({St::stErroLeitura}), {}, {}},
};

TEST(PrinterModelsStatus, EachFamilyDecodesItsReplies) {
  const struct {
    M modelo;
    FamiliaSim familia;
    TPosStatus CasoStatus::*esperado;
    int consultas;  // status queries per reading
  } familias[] = {
      {M::ppEscBematech, FamiliaSim::Bematech, &CasoStatus::bematech, 1},
      {M::ppEscVox, FamiliaSim::Elgin, &CasoStatus::elgin, 1},
      {M::ppEscDaruma, FamiliaSim::Daruma, &CasoStatus::daruma, 2},
  };
  for (const auto& f : familias) {
    Bancada b(f.modelo, f.familia, false);
    b.Ativar();  // Daruma reads its identification here
    for (const CasoStatus& caso : kCasos) {
      SCOPED_TRACE(std::string(b.impressora.ConjuntoComandos().NomeModelo) + " " + caso.nome);
      EstadoImpressoraSim e;
      caso.ajuste(e);
      b.SetEstado(e);
      b.sim.LimparRegistro();
      EXPECT_EQ(TextoStatus(LerStatusImpressora(b.impressora)), TextoStatus(caso.*f.esperado));
      // Daruma stops after an unanswered first query.
      const bool semResposta = e.silenciosa || e.bytesResposta == 0;
      EXPECT_EQ(b.sim.ConsultasStatus(), semResposta ? 1 : f.consultas);
      EXPECT_EQ(b.sim.Impresso(), "");
    }
  }
}

TEST(PrinterModelsStatus, OverASerialPtyAndWithRetries) {
  if (SerialSimuladaIndisponivel()) GTEST_SKIP() << SerialSimuladaIndisponivel();
  for (const auto& [modelo, familia] : {std::pair{M::ppEscBematech, FamiliaSim::Bematech},
                                        std::pair{M::ppEscVox, FamiliaSim::Elgin},
                                        std::pair{M::ppEscDaruma, FamiliaSim::Daruma},
                                        std::pair{M::ppCustomPos, FamiliaSim::Custom}}) {
    Bancada b(modelo, familia, true);
    SCOPED_TRACE(b.impressora.ConjuntoComandos().NomeModelo);
    b.Ativar();
    EstadoImpressoraSim e;
    e.tampaAberta = true;
    b.SetEstado(e);
    EXPECT_EQ(LerStatusImpressora(b.impressora), Conjunto({St::stOffLine, St::stTampaAberta}));
    // The first query goes unanswered; the second attempt reads the state.
    e.consultasSemResposta = 1;
    b.SetEstado(e);
    b.sim.LimparRegistro();
    EXPECT_EQ(LerStatusImpressora(b.impressora, 2), Conjunto({St::stOffLine, St::stTampaAberta}));
    EXPECT_GE(b.sim.ConsultasStatus(), 2);
  }
}

TEST(PrinterModelsStatus, BematechAndElginIdentification) {
  for (const auto& [modelo, familia] : {std::pair{M::ppEscBematech, FamiliaSim::Bematech},
                                        std::pair{M::ppEscVox, FamiliaSim::Elgin}}) {
    Bancada b(modelo, familia, false);
    b.impressora.Ativar();
    EstadoImpressoraSim e;
    e.modelo = "MP-4200";  // sent padded to its 10 bytes
    e.serial = "4200SN0012345";
    e.firmware = "1.5";
    b.SetEstado(e);
    EXPECT_EQ(b.Info(), "Modelo=MP-4200   \r\nSerial=4200SN0012345\r\nFirmware=1.5\r\nGuilhotina=1\r\n");
    e.guilhotina = false;
    b.SetEstado(e);
    const std::string info = b.Info();
    EXPECT_EQ(info.substr(info.find("Guilhotina")), "Guilhotina=0\r\n");
    // Failures of the identification reach the caller.
    e.bytesResposta = 4;
    b.SetEstado(e);
    EXPECT_ANY_THROW(b.Info());
  }
}

TEST(PrinterModelsStatus, DarumaIdentificationDropsTheFirstByteOfEachReply) {
  Bancada b(M::ppEscDaruma, FamiliaSim::Daruma, false);
  b.Ativar();
  EstadoImpressoraSim e;
  e.firmware = "01.20.00";
  e.modelo = "20001";
  const struct {
    char colunas;
    bool guilhotina;
    char codPage;
    const char* linhas;
  } casos[] = {
      {'2', true, '2', "Guilhotina=1\r\nColunas=34\r\nCodPage=2\r\n"},
      {'1', false, '5', "Guilhotina=0\r\nColunas=52\r\nCodPage=5\r\n"},
      {'0', true, '1', "Guilhotina=1\r\nColunas=48\r\nCodPage=1\r\n"},
  };
  for (const auto& c : casos) {
    e.darumaColunas = c.colunas;
    e.guilhotina = c.guilhotina;
    e.darumaCodPage = c.codPage;
    b.SetEstado(e);
    EXPECT_EQ(b.Info(), std::string("Fabricante=Daruma\r\nFirmware=01.20.00\r\nModelo=20001\r\n") + c.linhas);
  }
  // A reply cut before its CR never ends: the read's time-out reaches the caller.
  e.bytesResposta = 3;
  b.SetEstado(e);
  EXPECT_ANY_THROW(b.Info());
}

TEST(PrinterModelsStatus, CustomIdentificationNamesTheModel) {
  Bancada b(M::ppCustomPos, FamiliaSim::Custom, false);
  b.impressora.Ativar();
  const struct {
    std::string familia, modelo;
    const char* nome;
  } casos[] = {
      {H("8E"), H("02 0A"), "K3"},           {H("FF"), H("02 29"), "Q3X"},
      {H("8E"), H("02 4F"), "Q3X ETH"},      {"_", H("BC"), "KUBE II"},
      {"e", H("A6"), "KUBE II ETH"},         {H("8E"), H("02 99"), "[STX][153]"},  // unknown: the reply shown
      {"A", H("BC"), "A"},                   // unknown family: its byte shown
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.nome);
    EstadoImpressoraSim e;
    e.firmware = "1.02";
    e.customFamilia = c.familia;
    e.customModelo = c.modelo;
    b.SetEstado(e);
    EXPECT_EQ(b.Info(), std::string("Fabricante=CUSTOM\r\nFirmware=1.02\r\nModelo=") + c.nome + "\r\nGuilhotina=1\r\n");
  }
  // Custom reads Epson's status.
  EstadoImpressoraSim e;
  e.semPapel = true;
  b.SetEstado(e);
  EXPECT_EQ(LerStatusImpressora(b.impressora), Conjunto({St::stPoucoPapel, St::stSemPapel, St::stOffLine}));
}

TEST(DarumaActivation, TheModelNumberChoosesRatioAndModeOverTcpAndSerial) {
  for (bool serial : {false, true}) {
    SCOPED_TRACE(serial ? "serial" : "tcp");
    if (serial && SerialSimuladaIndisponivel()) GTEST_SKIP() << "tcp only: " << SerialSimuladaIndisponivel();
    Bancada b(M::ppEscDaruma, FamiliaSim::Daruma, serial);
    auto& daruma = dynamic_cast<TEscDaruma&>(b.impressora.ConjuntoComandos());
    const struct {
      const char* modelo;
      char colunas;
      int colunasEsperadas;
      double razao;
      char valor;
      int condensadas;
    } casos[] = {
        {"20000", '1', 52, 0.8421, '1', 61},  // 52 / 0.8421 = 61.7
        {"20001", '2', 34, 0.75, '0', 45},    // 34 / 0.75 = 45.3
        {"DR700", '0', 48, 0.8421, '1', 57},  // no number: the older models' mode
    };
    for (const auto& c : casos) {
      SCOPED_TRACE(c.modelo);
      EstadoImpressoraSim e;
      e.modelo = c.modelo;
      e.darumaColunas = c.colunas;
      b.SetEstado(e);
      b.sim.LimparRegistro();
      b.log.clear();
      b.impressora.Ativar();
      EXPECT_EQ(b.sim.ConsultasInfo(), 3);
      EXPECT_TRUE(daruma.ModoConfigurado());
      EXPECT_EQ(b.impressora.ColunasFonteNormal(), c.colunasEsperadas);
      EXPECT_DOUBLE_EQ(daruma.RazaoColunas.Condensada, c.razao);
      // The programming command goes straight to the device, outside the
      // print path: the printer has it, the send log has no entry for it.
      const std::string programacao = TEscDaruma::MontarProgramacao(c.valor);
      ASSERT_TRUE(testing::WaitUntil([&] { return b.sim.Impresso().size() >= programacao.size(); },
                                     std::chrono::milliseconds(3000)));
      EXPECT_EQ(b.sim.Impresso(), programacao);
      for (const std::string& l : b.log) EXPECT_EQ(l.find("EnviarStringDevice"), std::string::npos) << l;
      // The initialisation no longer carries the programming command.
      b.impressora.Imprimir("<c></linha_simples>");
      const std::string impresso = programacao + H("1B 32 1B 0F") + std::string(c.condensadas, '-');
      EXPECT_TRUE(testing::WaitUntil([&] { return b.sim.Impresso().size() >= impresso.size(); },
                                     std::chrono::milliseconds(3000)));
      EXPECT_EQ(b.sim.Impresso(), impresso);
      b.impressora.Desativar();
      EXPECT_TRUE(daruma.ModoConfigurado());
    }
  }
}

TEST(DarumaActivation, APrinterThatDoesNotAnswerFailsTheActivation) {
  Bancada b(M::ppEscDaruma, FamiliaSim::Daruma, false);
  EstadoImpressoraSim e;
  e.silenciosa = true;
  b.SetEstado(e);
  EXPECT_ANY_THROW(b.impressora.Ativar());
  EXPECT_FALSE(dynamic_cast<TEscDaruma&>(b.impressora.ConjuntoComandos()).ModoConfigurado());
  EXPECT_EQ(b.sim.Impresso(), "");
  // A failed activation leaves the engine and its port inactive.
  EXPECT_FALSE(b.impressora.Ativo());
  EXPECT_FALSE(b.impressora.Device().Ativo());
}

TEST(DarumaActivation, OnAFilePortEveryInitialisationCarriesTheProgrammingCommand) {
  testing::TempDir dir;
  const std::string arquivo = dir / "daruma.txt";
  TPosPrinter impressora;
  impressora.SetModelo(M::ppEscDaruma);
  impressora.SetPorta(arquivo);
  std::vector<std::string> log;
  impressora.OnGravarLog = [&](const std::string& l, bool&) { log.push_back(l); };
  const std::string programacao = TEscDaruma::MontarProgramacao('1');
  // Each activation starts the file anew.
  for (const char* texto : {"a", "b"}) {
    impressora.Ativar();
    EXPECT_FALSE(dynamic_cast<TEscDaruma&>(impressora.ConjuntoComandos()).ModoConfigurado());
    EXPECT_EQ(impressora.ColunasFonteNormal(), 48);
    impressora.Imprimir(texto);
    impressora.Desativar();
    EXPECT_EQ(testing::ReadFile(arquivo), programacao + H("1B 32") + texto);
  }
  // Nothing was asked.
  for (const std::string& l : log) EXPECT_EQ(l.find("TX -> "), std::string::npos) << l;
}

}  // namespace
}  // namespace bilhetor
