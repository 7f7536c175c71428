// The print server with no printer: a PREVIEW: port makes it draw every
// ticket as a picture, through the preview module it loads only then.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "ServidorTeste.h"

namespace bilhetor {
namespace {

using testing::BancoTeste;
using testing::ChildProcess;
using testing::PastasTeste;
using testing::ReadFile;
using testing::TempDir;
using testing::WaitUntil;

TEST(ServidorPreview, TheServerDrawsEveryTicketInThePreviewFolder) {
  BancoTeste banco;
  PastasTeste pastas;
  TempDir papel;
  pastas.Configurar(banco, "PREVIEW:" + papel.Path().string());
  TempDir runtime;
  const std::string log = pastas.Config("bilhetor.out");
  // Under the sanitizers, fontconfig's leaks under Qt are left to fontconfig.
  ChildProcess servidor({"env", "XDG_RUNTIME_DIR=" + runtime.Path().string(),
                         "LSAN_OPTIONS=suppressions=" + testing::SourceDir() + "/tests/preview/lsan.supp",
                         testing::ProgramaBilhetor(), "--headless", "--pasta", pastas.Pastas().Configuracao},
                        log);
  // Orders 57, 58 and 59 are printed; two items never are.
  ASSERT_TRUE(WaitUntil([&] { return banco.Esperando() == 2; }, std::chrono::milliseconds(30000))) << ReadFile(log);
  const int status = servidor.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(log);

  std::vector<std::string> arquivos;
  for (const auto& e : std::filesystem::directory_iterator(papel.Path())) arquivos.push_back(e.path().filename());
  std::sort(arquivos.begin(), arquivos.end());
  ASSERT_EQ(arquivos, (std::vector<std::string>{"ticket-0001.png", "ticket-0002.png", "ticket-0003.png"}))
      << ReadFile(log);
  for (const std::string& a : arquivos)
    EXPECT_EQ(ReadFile(papel / a).substr(0, 8), "\x89PNG\r\n\x1A\n") << a;
  // zbarimg finds the order's barcode on the first ticket (the other two are
  // cancellations, which carry none).
  const std::string saida = papel / "zbarimg.txt";
  const std::string comando = "zbarimg -q " + (papel / "ticket-0001.png") + " > " + saida + " 2>/dev/null";
  ASSERT_EQ(WEXITSTATUS(std::system(comando.c_str())), 0);
  EXPECT_EQ(ReadFile(saida), "CODE-39:57\n");
}

}  // namespace
}  // namespace bilhetor
