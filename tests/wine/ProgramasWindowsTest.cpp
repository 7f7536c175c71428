// The Windows programs of the build (BILHETOR_WINDOWS_BINARY_DIR), run under
// Wine from Linux against the same real parts a shop's machine has: a file,
// a network printer on loopback, a serial cable (a socat pty pair that Wine
// shows as a COM port) and the private MariaDB with the order system's
// sample data.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ProgramasWindows.h"
#include "ServidorTeste.h"
#include "support/LoopbackServer.h"
#include "support/MariaDbServer.h"
#include "support/SocatPty.h"
#include "support/TestSupport.h"

namespace bilhetor::testing {
namespace {

using namespace std::chrono_literals;

std::string ProgramaLinux(const std::string& nome) {
  const char* binario = std::getenv("BILHETOR_BINARY_DIR");
  return std::string(binario ? binario : ".") + "/tools/" + nome + "/" + nome;
}

// The build's own Wine prefix (tests/wine/executar makes it on first use).
std::string PrefixoWine() { return PastaWindows() + "/wine-prefix"; }

class ProgramasWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    if (PastaWindows().empty()) GTEST_SKIP() << "BILHETOR_WINDOWS_BINARY_DIR is not set: ./run test --windows sets it";
    // The cables of these tests are their own.
    SetEnv("BILHETOR_WINE_PARES_COM", "0");
    ASSERT_TRUE(std::filesystem::exists(ProgramaWindows("bilhetor-print"))) << ProgramaWindows("bilhetor-print");
  }
};

// The sample ticket printed by the Windows bilhetor-print to a file, a network
// printer and a serial port is, byte for byte, what the Linux program prints
// to a file and to a network printer (ports that read replies begin with the
// status query).
TEST_F(ProgramasWindows, BilhetorPrintImprimeOExemploEmCadaPortaComoNoLinux) {
  TempDir dir;
  const std::vector<std::string> exemplo = {"--ticket-exemplo", "--modelo", "1", "--colunas", "48", "--porta"};
  const auto linux = [&](const std::string& porta) {
    auto argumentos = exemplo;
    argumentos.insert(argumentos.begin(), ProgramaLinux("bilhetor-print"));
    argumentos.push_back(porta);
    const Execucao e = Rodar(argumentos);
    EXPECT_EQ(e.status, 0) << e.saida;
  };
  linux("FILE:" + (dir / "linux.bin"));
  const std::string arquivo = ReadFile(dir / "linux.bin");
  LoopbackServer referencia;
  linux("TCP:127.0.0.1:" + referencia.PortText());
  referencia.WaitForClosedByClient(1);
  const std::string rede = referencia.Received();
  ASSERT_GT(arquivo.size(), 200u);
  ASSERT_EQ(rede.substr(0, 3), "\x10\x04\x01");

  LoopbackServer impressora;
  SocatPty cabo;
  std::filesystem::create_directories(PrefixoWine() + "/dosdevices");
  const std::string link = PrefixoWine() + "/dosdevices/com21";
  std::filesystem::remove(link);
  std::filesystem::create_symlink(cabo.PortName(), link);

  struct Caso {
    std::string porta, esperado;
    std::function<std::string()> recebido;
  };
  const std::vector<Caso> casos = {
      {"FILE:" + Z(dir / "windows.bin"), arquivo, [&] { return ReadFile(dir / "windows.bin"); }},
      {"TCP:127.0.0.1:" + impressora.PortText(), rede,
       [&] {
         impressora.WaitForClosedByClient(1);
         return impressora.Received();
       }},
      {"COM21", rede, [&] { return cabo.PeerDrain(500ms); }},
  };
  for (const Caso& caso : casos) {
    auto windows = exemplo;
    windows.push_back(caso.porta);
    const Execucao e = Rodar(SobWine(ProgramaWindows("bilhetor-print"), windows));
    EXPECT_EQ(e.status, 0) << caso.porta << "\n" << e.saida;
    EXPECT_EQ(caso.recebido(), caso.esperado) << caso.porta << "\n" << e.saida;
  }
  std::filesystem::remove(link);
}

// bilhetor.exe --headless polls the private MariaDB like the demo: the three
// waiting orders print once each on the network printer and their items are
// marked, the journal records them, and a second run prints nothing again.
TEST_F(ProgramasWindows, ServidorHeadlessImprimeOsPedidosDoExemploUmaVez) {
  BancoTeste banco;
  LoopbackServer impressora;
  TempDir dir;
  const std::string config = dir / "config", estado = dir / "estado";
  std::filesystem::create_directories(config);
  WriteFile(config + "/sys.txt", "127.0.0.1\r\n" + std::to_string(BancoTeste::Servidor().Port()) + "\r\n");
  WriteFile(config + "/banco.txt", banco.Nome() + "\r\n");
  WriteFile(config + "/bilhetor.ini", "[PosPrinter]\r\nModelo=1\r\nPorta=TCP:127.0.0.1:" + impressora.PortText() +
                                          "\r\nColunas=48\r\nControlePorta=1\r\nCortarPapel=1\r\nPaginaDeCodigo=2\r\n");
  const auto servidor = SobWine(ProgramaWindows("bilhetor"), {"--headless", "--pasta", Z(config), "--estado", Z(estado)});

  {
    ChildProcess programa(servidor, dir / "bilhetor1.log");
    ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() <= 2 || !programa.Running(); }, 90000ms))
        << ReadFile(dir / "bilhetor1.log");
    Interromper(programa);
    EXPECT_FALSE(programa.Running()) << "Ctrl-C did not stop the server";
  }
  const std::string log1 = ReadFile(dir / "bilhetor1.log");
  EXPECT_EQ(banco.Esperando(), 2) << log1;
  for (const char* pedido : {"Pedido 57 impresso", "Pedido 58 impresso", "Pedido 59 impresso"})
    EXPECT_NE(log1.find(pedido), std::string::npos) << pedido << "\n" << log1;
  const std::string recebido = impressora.Received();
  for (const char* numero : {"057", "058", "059"})
    EXPECT_NE(recebido.find(std::string("PEDIDO...: ") + numero), std::string::npos) << numero;

  // The journal of printed tickets is where --estado put it, one file per database.
  bool diario = false;
  for (const auto& arquivo : std::filesystem::directory_iterator(estado))
    diario = diario || ReadFile(arquivo.path().string()).find("57") != std::string::npos;
  EXPECT_TRUE(diario);

  // A second run prints only what waits: order 57, set back to waiting by
  // the order system, prints again; 58 and 59 do not.
  banco.Sql("UPDATE imprimir SET impressao = 'N' WHERE numped = 57;\n");
  impressora.ClearReceived();
  {
    ChildProcess programa(servidor, dir / "bilhetor2.log");
    ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() <= 2 || !programa.Running(); }, 90000ms))
        << ReadFile(dir / "bilhetor2.log");
    Interromper(programa);
  }
  EXPECT_NE(impressora.Received().find("PEDIDO...: 057"), std::string::npos) << ReadFile(dir / "bilhetor2.log");
  EXPECT_EQ(impressora.Received().find("PEDIDO...: 058"), std::string::npos);
  EXPECT_EQ(impressora.Received().find("PEDIDO...: 059"), std::string::npos);
}

}  // namespace
}  // namespace bilhetor::testing
