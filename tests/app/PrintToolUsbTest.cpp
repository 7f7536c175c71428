// bilhetor-print on USB hook ports, end to end: the program, copied into a
// folder with a stand-in of a maker's library beside it, checks the printer
// and prints a whole ticket through the library.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/PrintTool.h"
#include "common/Strings.h"
#include "support/TestSupport.h"
#include "support/UsbSubstituta.h"

namespace bilhetor {
namespace {

using testing::ChildProcess;
using testing::Hex;
using testing::ReadFile;
using testing::TempDir;
using testing::UsbSubstituta;
using testing::WaitUntil;
using M = UsbSubstituta::Marca;
using Linhas = std::vector<std::string>;

struct Saida {
  int codigo;
  std::string texto;  // standard output and error
};

class PrintToolUsb : public ::testing::Test {
 protected:
  PrintToolUsb()
      : programa(usb.Pasta() +
                 std::filesystem::path(testing::BuildProgram("tools/bilhetor-print/bilhetor-print")).filename().string()) {
    std::filesystem::copy_file(testing::BuildProgram("tools/bilhetor-print/bilhetor-print"), programa);
  }

  Saida Executar(std::vector<std::string> args) {
    const std::string log = dir / "saida.txt";
    std::filesystem::remove(log);
    args.insert(args.begin(), programa);
    ChildProcess filho(args, log);
    EXPECT_TRUE(WaitUntil([&] { return !filho.Running(); }, std::chrono::seconds(60)));
    const int status = filho.Stop();
    // Windows' console output ends its lines with CR LF.
    return {testing::ExitCode(status), ReplaceAll(ReadFile(log), "\r\n", "\n")};
  }

  // The bytes of the sample ticket as the Epson command set prints it.
  static std::string TicketEpson() {
    TempDir d;
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(ExecutarBilhetorPrint({"--porta", "FILE:" + (d / "t.bin"), "--modelo", "1", "--ticket-exemplo"}, in,
                                    out, err, "/nonexistent/bilhetor-print"),
              0)
        << err.str();
    return ReadFile(d / "t.bin");
  }

  UsbSubstituta usb;
  TempDir dir;
  std::string programa;
};

TEST_F(PrintToolUsb, ATicketPrintedThroughTheEpsonLibraryAfterItsStatusCheck) {
  usb.Copiar(M::Epson);
  const Saida s = Executar({"--porta", "USB:EPSON", "--ticket-exemplo"});
  ASSERT_EQ(s.codigo, 0) << s.texto;
  const std::string ticket = TicketEpson();
  EXPECT_NE(ticket.find("MAPA DE SEPARACAO"), std::string::npos);
  EXPECT_EQ(usb.Chamadas(M::Epson),
            (Linhas{"carregada", "IniciaPorta(USB)", "Le_Status_Gaveta()", "Le_Status()", "Le_Status()",
                    "ComandoTX(" + Hex(ticket) + ", " + std::to_string(ticket.size()) + ")", "FechaPorta()",
                    "descarregada"}));
}

TEST_F(PrintToolUsb, ThePrinterStatusFromTheEpsonLibraryStopsThePrint) {
  usb.Copiar(M::Epson);
  usb.Definir(M::Epson, "Le_Status", 32);
  const Saida status = Executar({"--porta", "USB:EPSON", "--status"});
  EXPECT_EQ(status.codigo, 1);
  EXPECT_EQ(status.texto, "Status: stSemPapel\nImpressora Sem Papel\n");
  usb.Esquecer(M::Epson);
  const Saida impressao = Executar({"--porta", "USB:EPSON", "--ticket-exemplo"});
  EXPECT_EQ(impressao.codigo, 1);
  EXPECT_EQ(impressao.texto, "bilhetor-print: Impressora Sem Papel\n");
  for (const std::string& c : usb.Chamadas(M::Epson)) EXPECT_EQ(c.rfind("ComandoTX", 0), std::string::npos) << c;
}

TEST_F(PrintToolUsb, WithoutABrandTheElginLibraryBesideTheProgramPrints) {
  usb.Copiar(M::Elgin);
  // The printer's answers to the three status questions: drawer closed,
  // nothing wrong.
  usb.AdicionarLeitura("\x16");
  usb.AdicionarLeitura("\x12");
  usb.AdicionarLeitura("\x12");
  const Saida s = Executar({"--porta", "USB", "--ticket-exemplo"});
  ASSERT_EQ(s.codigo, 0) << s.texto;
  const std::string ticket = TicketEpson();
  const std::string leitura = "PrtDirectIO(instancia, -, 0, buf, 1024, &lidos)";
  EXPECT_EQ(usb.Chamadas(M::Elgin),
            (Linhas{"carregada", "PrtPrinterCreatorW(i7)", "PrtPortOpenW(instancia, USB)",
                    "PrtDirectIO(instancia, 100401, 3, -, 0, -)", leitura,
                    "PrtDirectIO(instancia, 100402, 3, -, 0, -)", leitura,
                    "PrtDirectIO(instancia, 100404, 3, -, 0, -)", leitura,
                    "PrtDirectIO(instancia, " + Hex(ticket) + ", " + std::to_string(ticket.size()) + ", -, 0, -)",
                    "PrtPortClose(instancia)", "descarregada"}));
}

}  // namespace
}  // namespace bilhetor
