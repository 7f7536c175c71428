// The engine on USB hook ports, against the stand-ins of the makers'
// libraries (support/UsbSubstituta.h): which brand a port name selects, when
// the hook is kept, replaced or released, the printer check answered by the
// Epson library's status functions, and the Elgin read loop of the device.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "device/Device.h"
#include "device/EscPosHook.h"
#include "posprinter/PosPrinter.h"
#include "posprinter/PosStatus.h"
#include "support/TestSupport.h"
#include "support/UsbSubstituta.h"

namespace bilhetor {
namespace {

using testing::Hex;
using testing::ReadFile;
using testing::TempDir;
using testing::UsbSubstituta;
using M = UsbSubstituta::Marca;
using Linhas = std::vector<std::string>;

// The stand-ins, in a program folder of the test's own.
class Bibliotecas {
 public:
  explicit Bibliotecas(bool epson = true, bool elgin = true) {
    if (epson) usb.Copiar(M::Epson);
    if (elgin) usb.Copiar(M::Elgin);
    TPosPrinterHook::SetPastaBibliotecas(usb.Pasta());
  }
  ~Bibliotecas() { TPosPrinterHook::SetPastaBibliotecas(""); }
  UsbSubstituta usb;
};

// The message of the error the engine's activation raises; empty when none.
std::string ErroAtivar(TPosPrinter& p) {
  try {
    p.Ativar();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

const Linhas kEpsonAberta{"carregada", "IniciaPorta(USB)"};
const Linhas kElginAberta{"carregada", "PrtPrinterCreatorW(i7)", "PrtPortOpenW(instancia, USB)"};

TEST(PosPrinterHookUsb, ThePortNameChoosesTheBrandOrTheFirstLibraryAvailable) {
  struct Caso {
    bool epson, elgin;  // libraries beside the program
    std::string porta;
    std::string erro;
    Linhas epsonChamadas, elginChamadas;
  };
  const std::vector<Caso> casos{
      {true, true, "USB", "", kEpsonAberta, {}},
      {true, true, "DLL", "", kEpsonAberta, {}},
      {true, true, "USB:", "", kEpsonAberta, {}},
      {false, true, "USB", "", {}, kElginAberta},
      {true, true, "USB:ELGIN", "", {}, kElginAberta},
      {true, true, "usb:elgin ", "", {}, kElginAberta},
      {true, true, "DLL:EPSON", "", kEpsonAberta, {}},
      {false, false, "USB", "Nenhuma biblioteca de modo USB encontrada", {}, {}},
      {false, false, "DLL", "Nenhuma biblioteca de modo USB encontrada", {}, {}},
      {true, true, "USB:ZEBRA", "Marca ZEBRA, n\xE3o tem suporte em modo USB", {}, {}},
      {true, true, "USB:NONE", "Marca NONE, n\xE3o tem suporte em modo USB", {}, {}},
      // A brand named in the port is used even when its library is missing.
      {true, false, "USB:ELGIN",
       "Erro ao carregar a fun\xE7\xE3o: PrtPrinterCreatorW na Biblioteca: " + UsbSubstituta::NomeArquivo(M::Elgin), {},
       {}},
  };
  for (const Caso& c : casos) {
    Bibliotecas b(c.epson, c.elgin);
    {
      TPosPrinter p;
      p.SetPorta(c.porta);
      EXPECT_EQ(ErroAtivar(p), c.erro) << c.porta;
      EXPECT_EQ(p.Ativo(), c.erro.empty()) << c.porta;
      EXPECT_EQ(p.Device().Ativo(), c.erro.empty()) << c.porta;
      // Both brands print with the Epson command set.
      if (c.erro.empty()) {
        EXPECT_EQ(p.Modelo(), TPosPrinterModelo::ppEscPosEpson) << c.porta;
      }
      EXPECT_EQ(b.usb.Chamadas(M::Epson), c.epsonChamadas) << c.porta;
      EXPECT_EQ(b.usb.Chamadas(M::Elgin), c.elginChamadas) << c.porta;
    }
  }
}

TEST(PosPrinterHookUsb, TheHookIsKeptForItsBrandAndReleasedWhenThePortChanges) {
  Bibliotecas b;
  TempDir dir;
  TPosPrinter p;
  p.SetPorta("USB:EPSON");
  p.Ativar();
  p.Desativar();
  p.SetPorta("DLL:epson");
  p.Ativar();
  p.Desativar();
  EXPECT_EQ(b.usb.Chamadas(M::Epson),
            (Linhas{"carregada", "IniciaPorta(USB)", "FechaPorta()", "IniciaPorta(USB)", "FechaPorta()"}));
  p.SetPorta("USB:ELGIN");
  p.Ativar();
  p.Desativar();
  EXPECT_EQ(b.usb.Chamadas(M::Epson).back(), "descarregada");
  p.SetPorta(dir / "ticket.txt");
  p.Ativar();
  EXPECT_EQ(b.usb.Chamadas(M::Elgin),
            (Linhas{"carregada", "PrtPrinterCreatorW(i7)", "PrtPortOpenW(instancia, USB)", "PrtPortClose(instancia)",
                    "descarregada"}));
  // The device no longer calls into a hook.
  p.Imprimir("x");
  EXPECT_EQ(b.usb.Chamadas(M::Elgin).back(), "descarregada");
}

TEST(PosPrinterHookUsb, ALibraryThatFailedToLoadIsTriedAgainAtTheNextActivation) {
  Bibliotecas b(false, false);
  b.usb.Copiar(M::Epson, true);
  TPosPrinter p;
  p.SetPorta("USB");
  EXPECT_EQ(ErroAtivar(p),
            "Erro ao carregar a fun\xE7\xE3o: Le_Status_Gaveta na Biblioteca: " + UsbSubstituta::NomeArquivo(M::Epson));
  EXPECT_FALSE(p.Ativo());
  EXPECT_FALSE(p.Device().Ativo());
  b.usb.Copiar(M::Epson);
  EXPECT_EQ(ErroAtivar(p), "");
  EXPECT_EQ(b.usb.Chamadas(M::Epson), (Linhas{"carregada", "descarregada", "carregada", "IniciaPorta(USB)"}));
}

TEST(PosPrinterHookUsb, OpenFailureLeavesTheEngineInactiveAndDestroyingTheEngineClosesTheHook) {
  Bibliotecas b;
  b.usb.Definir(M::Elgin, "PrtPortOpenW", 3);
  {
    TPosPrinter p;
    p.SetPorta("USB:ELGIN");
    EXPECT_EQ(ErroAtivar(p), "Erro ao Abrir porta USB da impressora ELGIN");
    EXPECT_FALSE(p.Ativo());
    b.usb.Definir(M::Elgin, "PrtPortOpenW", 0);
    EXPECT_EQ(ErroAtivar(p), "");
    b.usb.Esquecer(M::Elgin);
  }
  EXPECT_EQ(b.usb.Chamadas(M::Elgin), (Linhas{"PrtPortClose(instancia)", "descarregada"}));
}

// The bytes an Epson engine sends for Texto, as a file port receives them.
std::string BytesEpson(const std::string& Texto) {
  TempDir dir;
  TPosPrinter p;
  p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  p.SetPorta(dir / "saida.txt");
  p.Ativar();
  p.Imprimir(Texto);
  p.Desativar();
  return ReadFile(dir / "saida.txt");
}

// The printer check before printing: three DLE EOT questions, none of them
// sent, each answered from the library's status functions.
TEST(PosPrinterHookUsb, ThePrinterCheckIsAnsweredByTheEpsonLibrary) {
  struct Caso {
    int status;   // Le_Status
    int gaveta;   // Le_Status_Gaveta
    std::string flags;
    std::string erro;  // of Imprimir; empty: printed
  };
  const std::string texto = "<n>Teste</n>\n</corte_total>";
  for (const Caso& c : {Caso{1, 2, "", ""}, Caso{1, 0, "stGavetaAberta, ", ""},
                        Caso{9, 2, "stTampaAberta, ", "Impressora com Tampa Aberta"},
                        Caso{32, 2, "stSemPapel, ", "Impressora Sem Papel"},
                        Caso{0, 0, "stErro, stGavetaAberta, ", "Impressora em Erro"},
                        // Paper near end is told, and does not stop the print.
                        Caso{5, 2, "stPoucoPapel, ", ""}}) {
    const std::string nome = std::to_string(c.status) + "/" + std::to_string(c.gaveta);
    Bibliotecas b;
    b.usb.Definir(M::Epson, "Le_Status", c.status);
    b.usb.Definir(M::Epson, "Le_Status_Gaveta", c.gaveta);
    TPosPrinter p;
    p.SetPorta("USB:EPSON");
    p.SetVerificarImpressora(true);
    EXPECT_EQ(TextoStatus(LerStatusImpressora(p)), c.flags) << nome;
    EXPECT_FALSE(p.Ativo()) << nome << ": the query leaves the engine as it was";
    p.Ativar();
    b.usb.Esquecer(M::Epson);
    std::string erro;
    try {
      p.Imprimir(texto);
    } catch (const EPosPrinterException& e) {
      erro = e.Message();
    }
    EXPECT_EQ(erro, c.erro) << nome;
    Linhas esperadas{"Le_Status_Gaveta()", "Le_Status()", "Le_Status()"};
    if (c.erro.empty()) {
      const std::string bytes = BytesEpson(texto);
      esperadas.push_back("ComandoTX(" + Hex(bytes) + ", " + std::to_string(bytes.size()) + ")");
    }
    EXPECT_EQ(b.usb.Chamadas(M::Epson), esperadas) << nome;
  }
}

// The printer's identification through the Epson library reads like a
// printer's own: the maker, the model and the serial number whole.
TEST(PosPrinterHookUsb, TheIdentificationReadsTheLibrarysModelAndSerialNumber) {
  Bibliotecas b;
  b.usb.Definir(M::Epson, "LeModelo.texto", "TM-T20");
  b.usb.Definir(M::Epson, "LeModelo", 1);
  b.usb.Definir(M::Epson, "LeNumeroSerie.texto", "X5KL012345");
  b.usb.Definir(M::Epson, "LeNumeroSerie", 1);
  TPosPrinter p;
  p.SetPorta("USB:EPSON");
  p.Ativar();
  const std::string info = p.ConjuntoComandos().ConsultarInfo();
  EXPECT_NE(info.find("Fabricante=EPSON\r\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Modelo=TM-T20\r\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Serial=X5KL012345\r\n"), std::string::npos) << info;
}

// The Elgin library hands over what the printer has answered so far; the
// device asks again until it has the bytes wanted or its time runs out.
TEST(PosPrinterHookUsb, TheDeviceReadsTheElginPrinterUntilItHasEnoughOrTheTimeRunsOut) {
  Bibliotecas b;
  TPosPrinter p;
  p.SetPorta("USB:ELGIN");
  p.Ativar();
  b.usb.Esquecer(M::Elgin);
  b.usb.AdicionarLeitura("");
  b.usb.AdicionarLeitura("A");
  b.usb.AdicionarLeitura("");
  b.usb.AdicionarLeitura("BCD");
  EXPECT_EQ(p.TransmitirReceber("\x1D\x49\x42", 3, 2000, false), "ABCD");
  const std::string leitura = "PrtDirectIO(instancia, -, 0, buf, 1024, &lidos)";
  EXPECT_EQ(b.usb.Chamadas(M::Elgin),
            (Linhas{"PrtDirectIO(instancia, 1D4942, 3, -, 0, -)", leitura, leitura, leitura, leitura}));

  // A printer with nothing to say: an empty answer once the time is up.
  b.usb.LimparLeituras();
  b.usb.Esquecer(M::Elgin);
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_EQ(p.TransmitirReceber("\x10\x04\x01", 1, 200, false), "");
  EXPECT_GE(std::chrono::steady_clock::now() - inicio, std::chrono::milliseconds(200));
  const Linhas chamadas = b.usb.Chamadas(M::Elgin);
  ASSERT_GE(chamadas.size(), 3u);
  EXPECT_EQ(chamadas[0], "PrtDirectIO(instancia, 100401, 3, -, 0, -)");
  EXPECT_EQ(chamadas.back(), leitura);
}

}  // namespace
}  // namespace bilhetor
