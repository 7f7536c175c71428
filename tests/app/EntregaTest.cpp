// "Every order printed once", shown by the bilhetor program itself against the
// private MariaDB: a kill while a mark waits, a settings folder the server
// cannot write, two servers on one database, a database that comes up after
// the server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "ServidorTeste.h"
#include "db/DbAccess.h"
#include "support/EscPosPrinterSim.h"
#include "support/MariaDbServer.h"

namespace bilhetor {
namespace {

using testing::BancoTeste;
using testing::ChildProcess;
using testing::PastasTeste;
using testing::ReadFile;
using testing::TempDir;
using testing::WaitUntil;
using testing::WriteFile;
using namespace std::chrono_literals;

// How many times a text occurs in another.
int Vezes(const std::string& texto, const std::string& trecho) {
  int n = 0;
  for (std::size_t p = texto.find(trecho); p != std::string::npos; p = texto.find(trecho, p + 1)) ++n;
  return n;
}

// One headless server on its own settings, runtime and state folders; its
// output in log. `antes` goes in front of the command (another user).
struct Servidor {
  Servidor(const PastasTeste& pastas, const std::string& estado, std::vector<std::string> antes = {})
      : log(pastas.Config("bilhetor.out")) {
    ::chmod(runtime.Path().c_str(), 0777);
    antes.insert(antes.end(), {"env", "XDG_RUNTIME_DIR=" + runtime.Path().string(), testing::ProgramaBilhetor(),
                               "--headless", "--pasta", pastas.Pastas().Configuracao, "--estado", estado});
    processo = std::make_unique<ChildProcess>(antes, log);
  }
  std::string Saida() const { return ReadFile(log); }
  TempDir runtime;
  std::string log;
  std::unique_ptr<ChildProcess> processo;
};

class Entrega : public ::testing::Test {
 protected:
  std::string Diario() const { return estado / ("diario-impressao-" + banco.Nome() + ".txt"); }
  BancoTeste banco;
  PastasTeste pastas;
  TempDir estado;
};

TEST_F(Entrega, AKillWhileAMarkWaitsPrintsTheTicketOnceInAll) {
  // A network printer keeps what both runs sent (a file port starts empty).
  testing::EscPosPrinterSim impressora;
  impressora.IniciarTcp();
  pastas.Configurar(banco, impressora.NomePortaTcp());
  // Another session holds item 1: the mark of order 57 waits for it.
  TDbConnection trava;
  trava.SetServer(BancoTeste::Servidor().Host());
  trava.SetPort(BancoTeste::Servidor().Port());
  trava.SetUsername("root");
  trava.SetPassword("5209384kq");
  trava.SetDatabase(banco.Nome());
  trava.Connect();
  trava.Internal()->ExecuteDirect("SET autocommit = 0");
  trava.Internal()->ExecuteDirect("SELECT id FROM imprimir WHERE id = 1 FOR UPDATE");
  std::string primeiraSaida;
  {
    Servidor primeiro(pastas, estado.Path());
    // The ticket is in the journal: the server now waits on the mark.
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(Diario()).find("\nI\t1\t") != std::string::npos; }, 20s))
        << primeiro.Saida();
    primeiro.processo->Signal(SIGKILL);
    primeiraSaida = primeiro.Saida();
  }
  // The killed server's update of item 1 may still go through once the lock
  // is released; items 2 and 3 of the printed ticket wait.
  trava.Internal()->ExecuteDirect("ROLLBACK");

  Servidor segundo(pastas, estado.Path());
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, 20s)) << segundo.Saida();
  segundo.processo->Stop();
  const std::string impresso = impressora.Impresso();
  for (const char* pedido : {"PEDIDO...: 057", "PEDIDO...: 058", "PEDIDO...: 059"})
    EXPECT_EQ(Vezes(impresso, pedido), 1) << pedido << primeiraSaida;
}

TEST_F(Entrega, ASettingsFolderTheServerCannotWriteStillPrintsEveryOrder) {
  // The server runs as nobody; its settings folder is root's. Its printer
  // file and journal live in the state folder, which it may write.
  ::chmod(estado.Path().c_str(), 0777);
  const std::string saida = estado / "impressora.bin";
  pastas.Configurar(banco, "FILE:" + saida);
  const auto config = std::filesystem::path(pastas.Pastas().Configuracao);
  ::chmod(config.parent_path().c_str(), 0755);
  ::chmod(config.c_str(), 0755);
  Servidor s(pastas, estado.Path(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, 20s)) << s.Saida();
  std::this_thread::sleep_for(4s);  // one tick more
  s.processo->Stop();
  EXPECT_EQ(Vezes(ReadFile(saida), "PEDIDO...: 05"), 3);
  EXPECT_EQ(Vezes(s.Saida(), "n\xC3\xA3o puderam ser gravadas"), 1) << s.Saida();
}

TEST_F(Entrega, TwoServersOnOneDatabaseTheSecondTakesOverWhenTheFirstDies) {
  PastasTeste outras;
  TempDir outroEstado;
  pastas.Configurar(banco);
  outras.Configurar(banco);
  Servidor a(pastas, estado.Path());
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, 20s)) << a.Saida();
  Servidor b(outras, outroEstado.Path());
  ASSERT_TRUE(WaitUntil([&] { return b.Saida().find("em espera") != std::string::npos; }, 20s)) << b.Saida();
  banco.Sql("INSERT INTO imprimir (numped, tipo, codprod, qtde) VALUES (58, 'C', 43, 1);\n");
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, 20s)) << a.Saida();

  a.processo->Signal(SIGKILL);
  banco.Sql("INSERT INTO imprimir (numped, tipo, codprod, qtde) VALUES (59, 'T', 43, 1);\n");
  const auto morte = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, 20s)) << b.Saida();
  // Within two ticks of three seconds, with a second of slack for a loaded
  // machine.
  EXPECT_LT(std::chrono::steady_clock::now() - morte, 7s);
  b.processo->Stop();
  EXPECT_NE(b.Saida().find("assumiu a impress\xC3\xA3o"), std::string::npos) << b.Saida();

  // Each ticket on one printer only: A's four, then B's one.
  const std::string impressoA = ReadFile(pastas.Saida()), impressoB = ReadFile(outras.Saida());
  EXPECT_EQ(Vezes(impressoA, "PEDIDO...: 057"), 1);
  EXPECT_EQ(Vezes(impressoA, "PEDIDO...: 058"), 2);
  EXPECT_EQ(Vezes(impressoA, "PEDIDO...: 059"), 1);
  EXPECT_EQ(Vezes(impressoB, "PEDIDO...: 05"), 1);
  EXPECT_EQ(Vezes(impressoB, "PEDIDO...: 059"), 1);
}

TEST_F(Entrega, AServerStartedBeforeItsDatabaseWaitsForIt) {
  pastas.Configurar(banco);
  const int porta = testing::FreeLoopbackPort();
  WriteFile(pastas.Config("sys.txt"), "127.0.0.1\n" + std::to_string(porta) + "\n");
  Servidor s(pastas, estado.Path());
  // Two attempts fail (reported once); then the database appears on the port.
  std::this_thread::sleep_for(7s);
  EXPECT_TRUE(s.processo->Running());
  ChildProcess ponte({"socat", "TCP-LISTEN:" + std::to_string(porta) + ",bind=127.0.0.1,reuseaddr,fork",
                      "TCP:127.0.0.1:" + std::to_string(BancoTeste::Servidor().Port())});
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, 20s)) << s.Saida();
  s.processo->Stop();
  const std::string saida = s.Saida();
  EXPECT_EQ(Vezes(saida, "N\xC3\xA3o foi poss\xC3\xADvel conectar ao banco de dados. (2003)"), 1) << saida;
  EXPECT_NE(saida.find("Conectado ao banco de dados " + banco.Nome()), std::string::npos) << saida;
}

TEST_F(Entrega, SigtermEndsAServerThatWaitsOnADatabaseThatNeverAnswers) {
  // A listener that takes connections and never says a word.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 8), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n), 0);
  pastas.Configurar(banco);
  WriteFile(pastas.Config("sys.txt"), "127.0.0.1\n" + std::to_string(ntohs(a.sin_port)) + "\n");
  Servidor s(pastas, estado.Path());
  std::this_thread::sleep_for(1s);
  const auto inicio = std::chrono::steady_clock::now();
  const int status = s.processo->Stop(10000ms);
  EXPECT_LT(std::chrono::steady_clock::now() - inicio, 3s);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << s.Saida();
  ::close(fd);
}

}  // namespace
}  // namespace bilhetor
