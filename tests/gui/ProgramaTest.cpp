// bilhetor itself with its window, on a private X server (Xvfb), against the
// private MariaDB and a printer on loopback; and the stop signals of the
// window mode.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>

#include "BandejaSistema.h"
#include "ServidorTeste.h"
#include "gui/SinaisParada.h"
#include "support/EscPosPrinterSim.h"
#include "support/XvfbServer.h"

namespace bilhetor {
namespace {

using testing::BancoTeste;
using testing::ChildProcess;
using testing::PastasTeste;
using testing::ReadFile;
using testing::TempDir;
using testing::WaitUntil;
using testing::WriteFile;

TEST(SinaisParada, SigtermAndSigintAreTakenByTheEventLoop) {
  for (const int sinal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sinal);
    TSinaisParada sinais;
    int paradas = 0;
    sinais.Vigiar([&] { ++paradas; });
    // Blocked: it waits for the event loop instead of ending the process.
    ASSERT_EQ(::raise(sinal), 0);
    EXPECT_EQ(paradas, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return paradas == 1; }));
  }
}

// Starts bilhetor on the display (empty: none) with its own runtime folder;
// Qt's platform is the display's, not the offscreen one of these tests, and
// with no session bus the tray is the display's own (XEmbed) one.
std::unique_ptr<ChildProcess> Iniciar(const std::string& display, const std::string& runtime,
                                      const std::string& pasta, const std::string& log, const std::string& estado = "") {
  std::vector<std::string> args{"env", "-u", "QT_QPA_PLATFORM", "-u", "WAYLAND_DISPLAY", "-u",
                                "DBUS_SESSION_BUS_ADDRESS", "DISPLAY=" + display, "XDG_RUNTIME_DIR=" + runtime,
                                testing::ProgramaBilhetor(), "--pasta", pasta};
  if (!estado.empty()) args.insert(args.end(), {"--estado", estado});
  return std::make_unique<ChildProcess>(args, log);
}

bool Contem(const std::string& arquivo, const std::string& texto) {
  return ReadFile(arquivo).find(texto) != std::string::npos;
}

class Programa : public ::testing::Test {
 protected:
  void SetUp() override { ::chmod(runtime.Path().c_str(), 0700); }
  TempDir runtime;
  BancoTeste banco;
  PastasTeste pastas;
};

TEST_F(Programa, PrintsFromTheTrayOnAnXServerRefusesASecondCopyAndEndsOnSigterm) {
  testing::XvfbServer x;
  testing::BandejaSistema bandeja(x.Display());
  testing::EscPosPrinterSim impressora;
  impressora.IniciarTcp();
  pastas.Configurar(banco, impressora.NomePortaTcp());
  const std::string log = pastas.Config("bilhetor.out");
  auto programa = Iniciar(x.Display(), runtime.Path(), pastas.Pastas().Configuracao, log);

  // Its icon docks in the desktop's tray and shows the picture.
  ASSERT_NE(bandeja.EsperarIcone(std::chrono::milliseconds(30000)), 0u) << ReadFile(log);
  EXPECT_TRUE(WaitUntil([&] { return bandeja.CoresDoIcone() > 8; })) << bandeja.CoresDoIcone();

  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, std::chrono::milliseconds(30000))) << ReadFile(log);
  ASSERT_TRUE(WaitUntil([&] { return impressora.Recebido().find("PEDIDO...: 059") != std::string::npos; }))
      << ReadFile(log);
  EXPECT_NE(impressora.Recebido().find("PEDIDO...: 057"), std::string::npos);
  // It runs with its window: the window module and Qt are loaded.
  const std::string mapas = ReadFile("/proc/" + std::to_string(programa->Pid()) + "/maps");
  EXPECT_NE(mapas.find("bilhetor-janela.so"), std::string::npos);
  EXPECT_NE(mapas.find("libQt6Widgets"), std::string::npos);
  EXPECT_TRUE(Contem(log, "em servi\xC3\xA7o: banco " + banco.Nome())) << ReadFile(log);

  // A second copy shows its message (also on standard error) and waits
  // for the operator; it ends with 1.
  const std::string log2 = pastas.Config("segunda.out");
  auto segunda = Iniciar(x.Display(), runtime.Path(), pastas.Pastas().Configuracao, log2);
  ASSERT_TRUE(WaitUntil([&] { return Contem(log2, "Este programa j\xC3\xA1 est\xC3\xA1 aberto."); })) << ReadFile(log2);
  EXPECT_TRUE(Contem(log2, "N\xC3\xA3o posso permitir mais de uma inst\xC3\xA2ncia aberta.")) << ReadFile(log2);
  const int status2 = segunda->Stop();
  EXPECT_TRUE(WIFEXITED(status2)) << status2;
  EXPECT_EQ(WEXITSTATUS(status2), 1);

  const int status = programa->Stop();
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(Contem(log, "Bilhetor encerrado.")) << ReadFile(log);
  EXPECT_EQ(banco.Esperando(), 2);
}

TEST_F(Programa, APreviewPortDrawsTheTicketsInWindowModeToo) {
  // And the window keeps its journal in the state folder of the command line.
  testing::XvfbServer x;
  TempDir papel, estado;
  pastas.Configurar(banco, "PREVIEW:" + papel.Path().string());
  const std::string log = pastas.Config("bilhetor.out");
  auto programa = Iniciar(x.Display(), runtime.Path(), pastas.Pastas().Configuracao, log, estado.Path());
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, std::chrono::milliseconds(30000))) << ReadFile(log);
  EXPECT_TRUE(std::filesystem::exists(papel / "ticket-0003.png")) << ReadFile(log);
  EXPECT_TRUE(std::filesystem::exists(estado / ("diario-impressao-" + banco.Nome() + ".txt")));
  EXPECT_NE(ReadFile("/proc/" + std::to_string(programa->Pid()) + "/maps").find("bilhetor-janela.so"),
            std::string::npos);
  programa->Stop();
}

TEST_F(Programa, AStartUpFailureIsShownInABoxAndEndsWithOne) {
  testing::XvfbServer x;
  WriteFile(pastas.Config("banco.txt"), "x\n");  // no sys.txt anywhere
  const std::string log = pastas.Config("bilhetor.out");
  auto programa = Iniciar(x.Display(), runtime.Path(), pastas.Pastas().Configuracao, log);
  ASSERT_TRUE(WaitUntil([&] { return Contem(log, "N\xC3\xA3o existe o arquivo de configura\xC3\xA7\xC3\xA3o"); }))
      << ReadFile(log);
  // Still there: the box waits for the operator.
  EXPECT_TRUE(programa->Running());
  const int status = programa->Stop();
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST_F(Programa, ADisplayThatCannotBeOpenedLeavesTheServerRunningWithoutAWindow) {
  testing::EscPosPrinterSim impressora;
  impressora.IniciarTcp();
  pastas.Configurar(banco, impressora.NomePortaTcp());
  // A display number with no server behind it.
  int numero = 900 + ::getpid() % 90;
  while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(numero))) ++numero;
  const std::string log = pastas.Config("bilhetor.out");
  auto programa = Iniciar(":" + std::to_string(numero), runtime.Path(), pastas.Pastas().Configuracao, log);
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, std::chrono::milliseconds(30000))) << ReadFile(log);
  EXPECT_TRUE(Contem(log, "Sem janela (a tela n\xC3\xA3o p\xC3\xB4" "de ser aberta): o servidor segue sem janela."))
      << ReadFile(log);
  // Found out before the window module was loaded: no Qt in the server.
  const std::string mapas = ReadFile("/proc/" + std::to_string(programa->Pid()) + "/maps");
  EXPECT_EQ(mapas.find("bilhetor-janela.so"), std::string::npos);
  EXPECT_EQ(mapas.find("libQt6"), std::string::npos);
  const int status = programa->Stop();
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace bilhetor
