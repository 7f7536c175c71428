// The hook classes of the makers' USB libraries, against stand-ins of those
// libraries built with the tests (support/UsbSubstituta.h): what each library
// function is called with, in which order, and what the hook makes of the
// results the library gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/EscPosHook.h"
#include "device/EscPosHookElginDLL.h"
#include "device/EscPosHookEpsonDLL.h"
#include "support/UsbSubstituta.h"

namespace bilhetor {
namespace {

using testing::Hex;
using testing::UsbSubstituta;
using M = UsbSubstituta::Marca;
using Linhas = std::vector<std::string>;

// The message of the error f raises, which must be of class E exactly.
template <typename E>
std::string Erro(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    EXPECT_EQ(std::string(typeid(e).name()), std::string(typeid(E).name()));
    return e.Message();
  }
  ADD_FAILURE() << "nothing was raised";
  return {};
}

std::unique_ptr<TPosPrinterHook> Criar(M m) {
  if (m == M::Epson) return std::make_unique<TEpsonUSBPrinter>();
  return std::make_unique<TElginUSBPrinter>();
}

class HookUsbTest : public ::testing::Test {
 protected:
  HookUsbTest() { TPosPrinterHook::SetPastaBibliotecas(usb.Pasta()); }
  ~HookUsbTest() override { TPosPrinterHook::SetPastaBibliotecas(""); }

  // A hook of the brand, loaded and open, with the record started afresh.
  std::unique_ptr<TPosPrinterHook> Aberto(M m) {
    usb.Copiar(m);
    auto h = Criar(m);
    h->Inicializar();
    h->Abrir("USB");
    usb.Esquecer(m);
    return h;
  }

  UsbSubstituta usb;
};

class ClasseDeTeste : public TPosPrinterHook {
 public:
  static std::string NomeMarcaClasse() { return "TESTE"; }
};

TEST_F(HookUsbTest, RegistryHoldsEpsonThenElginAndRegistersEachClassOnce) {
  auto marcas = [] {
    Linhas r;
    for (const auto& c : ClassesHook()) r.push_back(c.NomeMarcaClasse());
    return r;
  };
  EXPECT_EQ(marcas(), (Linhas{"EPSON", "ELGIN"}));
  RegistrarClasseHook<TElginUSBPrinter>();
  RegistrarClasseHook<TEpsonUSBPrinter>();
  EXPECT_EQ(marcas(), (Linhas{"EPSON", "ELGIN"}));
  RegistrarClasseHook<ClasseDeTeste>();
  RegistrarClasseHook<ClasseDeTeste>();
  EXPECT_EQ(marcas(), (Linhas{"EPSON", "ELGIN", "TESTE"}));
  EXPECT_EQ(ClasseHookDaMarca("TESTE")->Criar()->NomeClasse(), "TPosPrinterHook");
  RemoverClasseHook(typeid(ClasseDeTeste));
  EXPECT_EQ(marcas(), (Linhas{"EPSON", "ELGIN"}));

  EXPECT_EQ(ClasseHookDaMarca("ELGIN")->Criar()->NomeClasse(), "TElginUSBPrinter");
  EXPECT_EQ(ClasseHookDaMarca("elgin"), nullptr);
  EXPECT_EQ(ClasseHookDaMarca("NONE"), nullptr);
}

TEST_F(HookUsbTest, ALibraryIsAvailableWhenItsFileLiesInTheProgramsFolder) {
  struct Caso {
    bool epson, elgin;
    const char* primeira;  // brand of the first available class
  };
  for (const Caso c : {Caso{false, false, ""}, Caso{true, false, "EPSON"}, Caso{false, true, "ELGIN"},
                       Caso{true, true, "EPSON"}}) {
    std::filesystem::remove_all(usb.Pasta());
    std::filesystem::create_directories(usb.Pasta());
    if (c.epson) usb.Copiar(M::Epson);
    if (c.elgin) usb.Copiar(M::Elgin);
    EXPECT_EQ(TEpsonUSBPrinter::BibliotecaDisponivel(), c.epson);
    EXPECT_EQ(TElginUSBPrinter::BibliotecaDisponivel(), c.elgin);
    const TClasseHook* primeira = PrimeiraClasseHookDisponivel();
    EXPECT_EQ(primeira ? primeira->NomeMarcaClasse() : "", c.primeira);
  }
  // A folder of the library's name is no library.
  std::filesystem::remove_all(usb.Pasta());
  std::filesystem::create_directories(usb.Pasta() + UsbSubstituta::NomeArquivo(M::Epson));
  EXPECT_FALSE(TEpsonUSBPrinter::BibliotecaDisponivel());
}

TEST_F(HookUsbTest, TheBaseClassKeepsOrderAndGivesEveryHookPortTheNameUSB) {
  TPosPrinterHook h;
  EXPECT_EQ(h.NomeMarca(), "NONE");
  EXPECT_EQ(h.NomeDLL(), "");
  EXPECT_EQ(h.Modelo(), TPosPrinterModelo::ppEscPosEpson);
  EXPECT_EQ(TPosPrinterHook::NomeMarcaClasse(), "NONE");
  EXPECT_TRUE(TPosPrinterHook::BibliotecaDisponivel());
  EXPECT_EQ(Erro<EPosPrinterHook>([&] { h.Abrir("USB"); }), "TPosPrinterHook n\xE3o foi inicializada");
  EXPECT_FALSE(h.EstaConectada());
  EXPECT_EQ(h.PortaHook(), "");
  EXPECT_EQ(Erro<EPosPrinterHook>([&] { h.Enviar("x"); }), "N\xE3o conectado a impressora NONE");
  std::string retorno = "antes";
  EXPECT_EQ(Erro<EPosPrinterHook>([&] { h.Ler(1, 100, retorno); }), "N\xE3o conectado a impressora NONE");
  EXPECT_EQ(retorno, "");

  h.Inicializar();
  EXPECT_TRUE(h.EstaCarregada());
  // The containment test of the device: the first three characters, in
  // upper case, anywhere in "USB|DLL".
  for (const auto& [porta, esperada] : std::vector<std::pair<std::string, std::string>>{
           {"USB:ELGIN", "USB"}, {"DLL:EPSON", "USB"}, {"usb", "USB"}, {"dll:x", "USB"}, {"SB", "USB"},
           {"B|D", "USB"}, {"d", "USB"}, {"LPT1", "LPT1"}, {"COM1", "COM1"}, {"", ""}}) {
    h.Abrir(porta);
    EXPECT_TRUE(h.EstaConectada()) << porta;
    EXPECT_EQ(h.PortaHook(), esperada) << porta;
    h.Abrir("LPT1");  // already open: nothing changes
    EXPECT_EQ(h.PortaHook(), esperada) << porta;
    h.Fechar();
    EXPECT_FALSE(h.EstaConectada());
    EXPECT_EQ(h.PortaHook(), "");
  }
  h.Abrir("USB");
  h.Finalizar();
  EXPECT_FALSE(h.EstaCarregada());
  EXPECT_FALSE(h.EstaConectada());
}

TEST_F(HookUsbTest, EpsonLoadsOpensSendsClosesAndReleasesItsLibrary) {
  usb.Copiar(M::Epson);
  TEpsonUSBPrinter h;
  EXPECT_EQ(h.NomeMarca(), "EPSON");
  EXPECT_EQ(h.NomeDLL(), UsbSubstituta::NomeArquivo(M::Epson));
  EXPECT_TRUE(usb.Chamadas(M::Epson).empty()) << "nothing is loaded before Inicializar";
  h.Inicializar();
  h.Inicializar();
  h.Abrir("DLL:EPSON");
  h.Abrir("DLL:EPSON");
  EXPECT_EQ(h.PortaHook(), "USB");
  h.Enviar(std::string("\x1B@A\0B", 5));
  h.Enviar("\x10");
  h.Enviar("\x1D");
  h.Fechar();
  h.Fechar();
  EXPECT_TRUE(h.EstaCarregada());
  h.Finalizar();
  EXPECT_FALSE(h.EstaCarregada());
  EXPECT_EQ(usb.Chamadas(M::Epson), (Linhas{"carregada", "IniciaPorta(USB)", "ComandoTX(1B40410042, 5)",
                                            "ComandoTX(10, 1)", "ComandoTX(1D, 1)", "FechaPorta()", "descarregada"}));
}

TEST_F(HookUsbTest, ElginCreatesItsPrinterObjectAndSendsEveryCommand) {
  usb.Copiar(M::Elgin);
  TElginUSBPrinter h;
  EXPECT_EQ(h.NomeMarca(), "ELGIN");
  EXPECT_EQ(h.NomeDLL(), UsbSubstituta::NomeArquivo(M::Elgin));
  h.Inicializar();
  h.Inicializar();
  EXPECT_NE(h.Instancia(), nullptr);
  h.Abrir("USB:ELGIN");
  EXPECT_EQ(h.PortaHook(), "USB");
  // Status questions go to the printer like any other command.
  h.Enviar("\x10\x04\x01");
  h.Enviar(std::string("\x1B@\0", 3));
  h.Finalizar();
  EXPECT_EQ(h.Instancia(), nullptr);
  EXPECT_FALSE(h.EstaCarregada());
  EXPECT_EQ(usb.Chamadas(M::Elgin),
            (Linhas{"carregada", "PrtPrinterCreatorW(i7)", "PrtPortOpenW(instancia, USB)",
                    "PrtDirectIO(instancia, 100401, 3, -, 0, -)", "PrtDirectIO(instancia, 1B4000, 3, -, 0, -)",
                    "PrtPortClose(instancia)", "descarregada"}));
}

TEST_F(HookUsbTest, ElginReadsWhatThePrinterHasAnsweredAndNothingWhenItHasNot) {
  auto h = Aberto(M::Elgin);
  usb.AdicionarLeitura("\x16");
  usb.AdicionarLeitura("");
  usb.AdicionarLeitura(std::string(1500, 'x'));
  std::string r = "antes";
  h->Ler(1, 500, r);
  EXPECT_EQ(r, "\x16");
  h->Ler(1, 500, r);
  EXPECT_EQ(r, "");
  h->Ler(1, 500, r);
  EXPECT_EQ(r, std::string(1024, 'x')) << "at most 1024 bytes at once";
  h->Ler(1, 500, r);
  EXPECT_EQ(r, "");
  EXPECT_EQ(usb.Chamadas(M::Elgin), Linhas(4, "PrtDirectIO(instancia, -, 0, buf, 1024, &lidos)"));
}

TEST_F(HookUsbTest, AMissingLibraryOrFunctionIsNamedAndLeavesTheHookUnloaded) {
  struct Caso {
    M marca;
    std::function<void(UsbSubstituta&)> preparar;
    std::string mensagem;
    Linhas chamadas;
  };
  const std::string epson = UsbSubstituta::NomeArquivo(M::Epson), elgin = UsbSubstituta::NomeArquivo(M::Elgin);
  const std::string carregar = "Erro ao carregar a fun\xE7\xE3o: ";
  const std::vector<Caso> casos{
      {M::Epson, [](UsbSubstituta&) {},
       carregar + "IniciaPorta na Biblioteca: " + epson, {}},
      {M::Epson, [](UsbSubstituta& u) { u.CopiarArquivoInvalido(M::Epson); },
       carregar + "IniciaPorta na Biblioteca: " + epson, {}},
      {M::Epson, [](UsbSubstituta& u) { u.Copiar(M::Epson, true); },
       carregar + "Le_Status_Gaveta na Biblioteca: " + epson,
       {"carregada", "descarregada"}},
      {M::Elgin, [](UsbSubstituta&) {},
       carregar + "PrtPrinterCreatorW na Biblioteca: " + elgin, {}},
      {M::Elgin, [](UsbSubstituta& u) { u.Copiar(M::Elgin, true); },
       carregar + "PrtDirectIO na Biblioteca: " + elgin,
       {"carregada", "descarregada"}},
  };
  for (const Caso& c : casos) {
    UsbSubstituta u;
    TPosPrinterHook::SetPastaBibliotecas(u.Pasta());
    c.preparar(u);
    auto h = Criar(c.marca);
    EXPECT_EQ(Erro<EPosPrinterHook>([&] { h->Inicializar(); }), c.mensagem);
    EXPECT_FALSE(h->EstaCarregada()) << c.mensagem;
    EXPECT_EQ(u.Chamadas(c.marca), c.chamadas) << c.mensagem;
    EXPECT_EQ(Erro<EPosPrinterHook>([&] { h->Abrir("USB"); }), h->NomeClasse() + " n\xE3o foi inicializada");
    // With the whole library in place the same hook loads.
    u.Copiar(c.marca);
    h->Inicializar();
    EXPECT_TRUE(h->EstaCarregada()) << c.mensagem;
  }
}

TEST_F(HookUsbTest, ElginObjectThatCannotBeCreatedLeavesTheHookUnloaded) {
  usb.Copiar(M::Elgin);
  usb.Definir(M::Elgin, "PrtPrinterCreatorW", -7);
  TElginUSBPrinter h;
  EXPECT_EQ(Erro<EPosPrinterHook>([&] { h.Inicializar(); }),
            "Erro ao criar inst\xE2ncia do Objeto da impressora ELGIN: -7");
  EXPECT_FALSE(h.EstaCarregada());
  EXPECT_EQ(h.Instancia(), nullptr);
  EXPECT_EQ(usb.Chamadas(M::Elgin), (Linhas{"carregada", "PrtPrinterCreatorW(i7)", "descarregada"}));
  usb.Definir(M::Elgin, "PrtPrinterCreatorW", 0);
  h.Inicializar();
  EXPECT_TRUE(h.EstaCarregada());
}

// Each question's answer comes from the library's status functions at the
// next Ler; a second Ler has nothing to answer.
TEST_F(HookUsbTest, EpsonAnswersStatusAndInformationQuestionsFromTheLibrary) {
  struct Caso {
    std::string pergunta;
    std::string chave;  // the library result this case sets ("" none)
    std::string valor;
    std::string resposta;
    Linhas chamadas;
  };
  const Linhas gaveta{"Le_Status_Gaveta()"}, status{"Le_Status()"}, nenhuma{};
  const std::vector<Caso> casos{
      {"\x10\x04\x01", "Le_Status_Gaveta", "2", "\x04", gaveta},
      {"\x10\x04\x01", "Le_Status_Gaveta", "0", std::string(1, '\0'), gaveta},
      {"\x10\x04\x01", "Le_Status_Gaveta", "1", std::string(1, '\0'), gaveta},
      {"\x10\x04\x02", "Le_Status", "0", "\x40", status},
      {"\x10\x04\x02", "Le_Status", "9", "\x04", status},
      {"\x10\x04\x02", "Le_Status", "32", "\x20", status},
      {"\x10\x04\x02", "Le_Status", "7", std::string(1, '\0'), status},
      {"\x10\x04\x02", "Le_Status", "5", std::string(1, '\0'), status},
      {"\x10\x04\x04", "Le_Status", "5", "\x0C", status},
      {"\x10\x04\x04", "Le_Status", "32", "\x60", status},
      {"\x10\x04\x04", "Le_Status", "9", std::string(1, '\0'), status},
      {"\x10\x04\x04", "Le_Status", "0", std::string(1, '\0'), status},
      {"\x10\x04\x03", "", "", std::string(1, '\0'), nenhuma},
      {"\x10\x04\xFF", "", "", std::string(1, '\0'), nenhuma},
      {"\x10\x04", "", "", "", nenhuma},
      {"\x1D\x49\x32", "", "", "\x02", nenhuma},
      {"\x1D\x49\x41", "", "", "A", nenhuma},
      {"\x1D\x49\x42", "", "", "_EPSON", nenhuma},
      {"\x1D\x49\x43", "LeModelo.texto", "TM-T20", "_TM-T20", {"LeModelo(32 brancos)"}},
      {"\x1D\x49\x43", "LeModelo.texto", "  TM-T88V  ", "_TM-T88V", {"LeModelo(32 brancos)"}},
      {"\x1D\x49\x43", "LeModelo.texto", std::string(32, 'M'), "_" + std::string(32, 'M'), {"LeModelo(32 brancos)"}},
      {"\x1D\x49\x43", "LeModelo", "0", "", {"LeModelo(32 brancos)"}},
      {"\x1D\x49\x44", "LeNumeroSerie.texto", "X5KL012345", "_X5KL012345", {"LeNumeroSerie(32 brancos)"}},
      {"\x1D\x49\x44", "LeNumeroSerie", "3", "", {"LeNumeroSerie(32 brancos)"}},
      {"\x1D\x49\x45", "", "", "", nenhuma},
      {"\x1D\x49", "", "", "", nenhuma},
  };
  auto h = Aberto(M::Epson);
  for (const Caso& c : casos) {
    const std::string nome = Hex(c.pergunta) + " " + c.chave + "=" + c.valor;
    if (!c.chave.empty()) usb.Definir(M::Epson, c.chave, c.valor);
    usb.Esquecer(M::Epson);
    h->Enviar(c.pergunta);
    EXPECT_TRUE(usb.Chamadas(M::Epson).empty()) << nome << ": a question is not sent";
    std::string r;
    h->Ler(1, 500, r);
    EXPECT_EQ(Hex(r), Hex(c.resposta)) << nome;
    EXPECT_EQ(usb.Chamadas(M::Epson), c.chamadas) << nome;
    h->Ler(1, 500, r);
    EXPECT_EQ(r, "") << nome;
    EXPECT_EQ(usb.Chamadas(M::Epson), c.chamadas) << nome;
  }
}

TEST_F(HookUsbTest, EpsonAnswersAPendingStatusQuestionBeforeAnInformationQuestion) {
  auto h = Aberto(M::Epson);
  usb.Definir(M::Epson, "Le_Status", 9);
  h->Enviar("\x1D\x49\x42");
  h->Enviar("\x10\x04\x01");
  h->Enviar("\x10\x04\x02");  // the later status question replaces the earlier one
  std::string r;
  h->Ler(1, 500, r);
  EXPECT_EQ(r, "\x04");
  h->Ler(1, 500, r);
  EXPECT_EQ(r, "_EPSON");
  h->Ler(1, 500, r);
  EXPECT_EQ(r, "");
  EXPECT_EQ(usb.Chamadas(M::Epson), Linhas{"Le_Status()"});
  // A reload forgets what was asked.
  h->Enviar("\x1D\x49\x42");
  h->Finalizar();
  h->Inicializar();
  h->Abrir("USB");
  h->Ler(1, 500, r);
  EXPECT_EQ(r, "");
}

// The makers' open and close failures are plain errors; a failed open leaves
// the hook closed, a failed close leaves it open.
TEST_F(HookUsbTest, OpenAndCloseFailuresLeaveTheHookClosedAndOpenRespectively) {
  struct Caso {
    M marca;
    const char* abrir;   // the library's open function
    int falhaAbrir;      // a result it fails with
    const char* fechar;  // the library's close function
    int falhaFechar;
    int sucesso;
    const char* nomeMarca;
  };
  for (const Caso& c : {Caso{M::Epson, "IniciaPorta", 0, "FechaPorta", 0, 1, "EPSON"},
                        Caso{M::Epson, "IniciaPorta", 2, "FechaPorta", -1, 1, "EPSON"},
                        Caso{M::Elgin, "PrtPortOpenW", 5, "PrtPortClose", 1, 0, "ELGIN"},
                        Caso{M::Elgin, "PrtPortOpenW", -1, "PrtPortClose", -3, 0, "ELGIN"}}) {
    const std::string marca = c.nomeMarca;
    auto h = Aberto(c.marca);
    h->Fechar();
    usb.Definir(c.marca, c.abrir, c.falhaAbrir);
    EXPECT_EQ(Erro<Exception>([&] { h->Abrir("USB:" + marca); }), "Erro ao Abrir porta USB da impressora " + marca);
    EXPECT_FALSE(h->EstaConectada());
    EXPECT_EQ(h->PortaHook(), "");
    EXPECT_EQ(Erro<EPosPrinterHook>([&] { h->Enviar("x"); }), "N\xE3o conectado a impressora " + marca);

    usb.Definir(c.marca, c.abrir, c.sucesso);
    h->Abrir("USB:" + marca);
    usb.Definir(c.marca, c.fechar, c.falhaFechar);
    EXPECT_EQ(Erro<Exception>([&] { h->Fechar(); }), "Erro ao Fechar a porta USB da impressora " + marca);
    EXPECT_TRUE(h->EstaConectada());
    EXPECT_EQ(h->PortaHook(), "USB");
    // Finalizar stops at the failed close: the library stays loaded.
    EXPECT_EQ(Erro<Exception>([&] { h->Finalizar(); }), "Erro ao Fechar a porta USB da impressora " + marca);
    EXPECT_TRUE(h->EstaCarregada());
    usb.Definir(c.marca, c.fechar, c.sucesso);
    h->Fechar();
    EXPECT_FALSE(h->EstaConectada());
    usb.Definir(c.marca, c.abrir, c.sucesso);
  }
}

TEST_F(HookUsbTest, EpsonSendFailureIsAPlainErrorAndTheHookStaysOpen) {
  auto h = Aberto(M::Epson);
  usb.Definir(M::Epson, "ComandoTX", 0);
  EXPECT_EQ(Erro<Exception>([&] { h->Enviar("abc"); }), "Erro ao Enviar Dados para porta USB da impressora EPSON");
  EXPECT_TRUE(h->EstaConectada());
}

TEST_F(HookUsbTest, DestroyingAnOpenHookClosesThePortAndReleasesTheLibrary) {
  struct Caso {
    M marca;
    const char* fechar;
    int falha;
    Linhas chamadas;
  };
  for (const Caso& c : {Caso{M::Epson, "FechaPorta", 1, {"FechaPorta()", "descarregada"}},
                        Caso{M::Elgin, "PrtPortClose", 0, {"PrtPortClose(instancia)", "descarregada"}},
                        // A port that will not close does not keep the library.
                        Caso{M::Epson, "FechaPorta", 0, {"FechaPorta()", "descarregada"}},
                        Caso{M::Elgin, "PrtPortClose", 4, {"PrtPortClose(instancia)", "descarregada"}}}) {
    auto h = Aberto(c.marca);
    usb.Definir(c.marca, c.fechar, c.falha);
    h.reset();
    EXPECT_EQ(usb.Chamadas(c.marca), c.chamadas);
    usb.Definir(c.marca, c.fechar, c.marca == M::Epson ? 1 : 0);
  }
}

}  // namespace
}  // namespace bilhetor
