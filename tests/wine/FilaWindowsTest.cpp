// A raw print queue of the Windows spooler, as Wine gives it: Wine's
// winspool lists the queues of the CUPS server its client library is pointed
// at (CUPS_SERVER, here the tests' private cupsd) as Windows printers, and
// hands a RAW document to that queue as a CUPS job. The Windows
// bilhetor-print prints the sample ticket there, and the queue's output file
// gets the bytes the Linux program sends to a queue of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ProgramasWindows.h"
#include "support/CupsServer.h"
#include "support/TestSupport.h"

namespace bilhetor::testing {
namespace {

using namespace std::chrono_literals;

// What a queue's output file holds once the job has arrived (at most 30 s)
// and the file has not grown for a second.
std::string SaidaDaFila(const std::string& arquivo) {
  const auto tamanho = [&]() -> uintmax_t {
    return std::filesystem::exists(arquivo) ? std::filesystem::file_size(arquivo) : 0;
  };
  WaitUntil([&] { return tamanho() > 0; }, 30000ms);
  for (uintmax_t anterior = 0; tamanho() != anterior;) {
    anterior = tamanho();
    std::this_thread::sleep_for(1000ms);
  }
  return std::filesystem::exists(arquivo) ? ReadFile(arquivo) : "";
}

TEST(FilaWindows, BilhetorPrintImprimeNumaFilaRawComoNoLinux) {
  if (PastaWindows().empty()) GTEST_SKIP() << "BILHETOR_WINDOWS_BINARY_DIR is not set: ./run test --windows sets it";
  const std::string windows = ProgramaWindows("bilhetor-print");
  ASSERT_TRUE(std::filesystem::exists(windows)) << windows;
  const char* binario = std::getenv("BILHETOR_BINARY_DIR");
  const std::string linux = std::string(binario ? binario : ".") + "/tools/bilhetor-print/bilhetor-print";
  SetEnv("BILHETOR_WINE_PARES_COM", "0");
  // Sets CUPS_SERVER for the programs started from here on, Wine included.
  CupsServer& cups = CupsServer::Shared();
  TempDir dir;
  ScopedQueue filaLinux(cups, "BilhetorLinux", dir / "linux.out");
  ScopedQueue filaWindows(cups, "BilhetorWine", dir / "windows.out");
  const std::vector<std::string> exemplo = {"--ticket-exemplo", "--modelo", "1", "--colunas", "48", "--porta"};

  std::vector<std::string> argumentos = exemplo;
  argumentos.insert(argumentos.begin(), linux);
  argumentos.push_back("RAW:BilhetorLinux");
  Execucao e = Rodar(argumentos);
  ASSERT_EQ(e.status, 0) << e.saida;
  const std::string esperado = SaidaDaFila(filaLinux.Output());
  ASSERT_GT(esperado.size(), 200u) << cups.ErrorLog();

  argumentos = SobWine(windows, exemplo);
  argumentos.push_back("RAW:BilhetorWine");
  e = Rodar(argumentos);
  EXPECT_EQ(e.status, 0) << e.saida;
  EXPECT_EQ(SaidaDaFila(filaWindows.Output()), esperado) << e.saida << "\n" << cups.ErrorLog();
}

}  // namespace
}  // namespace bilhetor::testing
