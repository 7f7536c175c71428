// The bilhetor program on Linux, stopped with SIGTERM as systemd stops it.
// (Under Wine, tests/wine stops the Windows program with a Ctrl-C.)
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>

#include "ServidorTeste.h"

namespace bilhetor {
namespace {

using testing::BancoTeste;
using testing::ChildProcess;
using testing::PastasTeste;
using testing::ReadFile;
using testing::TempDir;
using testing::WaitUntil;

class HeadlessPrograma : public ::testing::Test {
 protected:
  // bilhetor --headless on the test's folders, with a private runtime folder
  // for its lock, its output in log.
  std::vector<std::string> Comando() const {
    return {"env", "XDG_RUNTIME_DIR=" + runtime.Path().string(), testing::ProgramaBilhetor(), "--headless", "--pasta",
            pastas.Pastas().Configuracao};
  }

  BancoTeste banco;
  PastasTeste pastas;
  TempDir runtime;
};

TEST_F(HeadlessPrograma, TheProgramPrintsTheQueueStopsOnSigtermAndRefusesASecondCopy) {
  pastas.Configurar(banco);
  const std::string log = pastas.Config("bilhetor.out");
  ChildProcess servidor(Comando(), log);
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, std::chrono::milliseconds(20000))) << ReadFile(log);
  EXPECT_NE(ReadFile(pastas.Saida()).find("PEDIDO...: 059"), std::string::npos);

  const std::string logSegunda = pastas.Config("segunda.out");
  ChildProcess segunda(Comando(), logSegunda);
  ASSERT_TRUE(WaitUntil([&] { return !segunda.Running(); }, std::chrono::seconds(60)));
  EXPECT_EQ(testing::ExitCode(segunda.Stop()), 1);
  const std::string recusa = ReadFile(logSegunda);
  EXPECT_NE(recusa.find("Este programa j\xC3\xA1 est\xC3\xA1 aberto. N\xC3\xA3o posso permitir mais de uma"),
            std::string::npos)
      << recusa;

  const int status = servidor.Stop();
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string saida = ReadFile(log);
  EXPECT_NE(saida.find("em servi\xC3\xA7o: banco " + banco.Nome()), std::string::npos) << saida;
  EXPECT_NE(saida.find("Bilhetor encerrado."), std::string::npos) << saida;
}

}  // namespace
}  // namespace bilhetor
