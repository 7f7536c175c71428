// The Windows installer of the build (bilhetor-<version>-setup.exe), run
// silently under Wine in a Wine prefix of the test's own: installing writes
// Program Files, C:\bkp and the registry, which the prefix the other tests
// share must not get.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "BandejaSistema.h"
#include "ProgramasWindows.h"
#include "ServidorTeste.h"
#include "support/LoopbackServer.h"
#include "support/MariaDbServer.h"
#include "support/TestSupport.h"
#include "support/XvfbServer.h"

namespace bilhetor::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The build's setup program, and the version its name carries; empty when
// the build has none.
struct Instalador {
  std::string caminho, versao;
};

Instalador InstaladorDaBuild() {
  Instalador instalador;
  std::error_code erro;
  for (const auto& entrada : fs::directory_iterator(PastaWindows(), erro)) {
    const std::string nome = entrada.path().filename().string();
    std::smatch partes;
    if (std::regex_match(nome, partes, std::regex("bilhetor-(.+)-setup\\.exe"))) {
      instalador.caminho = entrada.path().string();
      instalador.versao = partes[1];
    }
  }
  return instalador;
}

// The source's LF text as the installer puts it on Windows.
std::string Crlf(const std::string& texto) { return std::regex_replace(texto, std::regex("\n"), "\r\n"); }

// A Wine prefix for this test alone: a copy of the build's when the other
// tests made one (tests/wine/executar makes a new one otherwise). Its
// wineserver ends with it.
class PrefixoWine {
 public:
  PrefixoWine() {
    const std::string daBuild = PastaWindows() + "/wine-prefix";
    if (fs::exists(daBuild + "/system.reg")) Rodar({"cp", "-a", daBuild, caminho_});
  }
  ~PrefixoWine() { Wineserver("-k"); }

  // The command line of a Windows program in this prefix; on the X display
  // tela when one is given.
  std::vector<std::string> Comando(const std::string& programa, std::vector<std::string> argumentos,
                                   const std::string& tela = "") {
    argumentos = SobWine(programa, std::move(argumentos));
    argumentos.insert(argumentos.begin(), {"env", "WINEPREFIX=" + caminho_, "BILHETOR_WINE_PARES_COM=0",
                                           "BILHETOR_WINE_TELA=" + tela});
    return argumentos;
  }
  Execucao Windows(const std::string& programa, std::vector<std::string> argumentos) {
    return Rodar(Comando(programa, std::move(argumentos)), 180s);
  }

  // "C:\x" of the prefix as a Linux path.
  std::string C(const std::string& caminho) const { return caminho_ + "/drive_c/" + caminho; }

  // A registry key as Wine saved it (user.reg holds HKCU, system.reg HKLM);
  // empty when the key is not there. Wine writes the files when its
  // wineserver ends, which this waits for.
  std::string Chave(const std::string& arquivo, const std::string& chave) {
    Wineserver("-w");
    const std::string reg = ReadFile(caminho_ + "/" + arquivo);
    const size_t inicio = reg.find("\n[" + chave + "]");
    if (inicio == std::string::npos) return "";
    return reg.substr(inicio + 1, reg.find("\n\n", inicio + 1) - inicio);
  }

  void Wineserver(const std::string& opcao) { Rodar({"env", "WINEPREFIX=" + caminho_, "wineserver", opcao}, 60s); }

 private:

  TempDir dir_;
  const std::string caminho_ = dir_ / "prefixo";
};

const char* const kRun = R"(Software\\Microsoft\\Windows\\CurrentVersion\\Run)";
const char* const kValorRun = R"("Bilhetor"="\"C:\\Program Files\\Bilhetor\\bilhetorw.exe\"")";
const char* const kDesinstalar = R"(Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bilhetor)";

// Install, reinstall over it, uninstall keeping the shop's settings, then
// install into a folder of the operator's choice and uninstall removing them.
TEST(InstaladorWindows, InstalaReinstalaEDesinstalaGuardandoAsConfiguracoesDaLoja) {
  if (PastaWindows().empty()) GTEST_SKIP() << "BILHETOR_WINDOWS_BINARY_DIR is not set: ./run test --windows sets it";
  const Instalador setup = InstaladorDaBuild();
  if (setup.caminho.empty())
    GTEST_SKIP() << "no bilhetor-<version>-setup.exe in " << PastaWindows() << " (target bilhetor_instalador)";
  PrefixoWine wine;
  const std::string pasta = wine.C("Program Files/Bilhetor/");
  const std::string menu = wine.C("ProgramData/Microsoft/Windows/Start Menu/Programs/Bilhetor/");
  const auto exemplo = [](const std::string& nome) {
    return Crlf(ReadFile(SourceDir() + "/packaging/exemplos/" + nome));
  };
  const std::string som = ReadFile(SourceDir() + "/share/Som.wav");

  // A first install: the programs under Program Files, the shop's settings
  // (the examples, CRLF) in C:\bkp, the sound, the Start menu, starting with
  // Windows, and the entry of Programs and Features in the 64-bit registry.
  Execucao e = wine.Windows(setup.caminho, {"/S"});
  ASSERT_EQ(e.status, 0) << e.saida;
  for (const char* nome : {"bilhetor.exe", "bilhetorw.exe", "bilhetor-print.exe", "desinstalar.exe",
                           "exemplos/bilhetor.ini",
                           "exemplos/schema.sql", "exemplos/sample-data.sql"})
    EXPECT_TRUE(fs::exists(pasta + nome)) << nome;
  EXPECT_TRUE(fs::exists(pasta + "bilhetor-janela.dll"));
  for (const char* nome : {"sys.txt", "banco.txt", "bilhetor.ini"})
    EXPECT_EQ(ReadFile(wine.C("bkp/") + nome), exemplo(nome));
  EXPECT_EQ(ReadFile(wine.C("Vialto/Musica/Som.wav")), som);
  EXPECT_TRUE(fs::exists(menu + "Bilhetor.lnk"));
  EXPECT_TRUE(fs::exists(menu + "Desinstalar o Bilhetor.lnk"));
  const std::string run = wine.Chave("user.reg", kRun);
  EXPECT_NE(run.find(kValorRun), std::string::npos) << run;
  const std::string entrada = wine.Chave("system.reg", kDesinstalar);
  EXPECT_NE(entrada.find("\"DisplayVersion\"=\"" + setup.versao + "\""), std::string::npos) << entrada;
  EXPECT_NE(entrada.find(R"("QuietUninstallString"="\"C:\\Program Files\\Bilhetor\\desinstalar.exe\" /S")"),
            std::string::npos)
      << entrada;
  // In kilobytes: the two programs alone are over 4 MB.
  std::smatch tamanho;
  ASSERT_TRUE(std::regex_search(entrada, tamanho, std::regex("\"EstimatedSize\"=dword:([0-9a-f]{8})"))) << entrada;
  EXPECT_GT(std::stoul(tamanho[1], nullptr, 16), 4000u);

  // The installed programs work: the server knows its version, and
  // bilhetor-print prints the sample ticket as the Linux program does.
  e = wine.Windows(pasta + "bilhetor.exe", {"--version"});
  EXPECT_EQ(e.status, 0) << e.saida;
  EXPECT_NE(e.saida.find("bilhetor " + setup.versao), std::string::npos) << e.saida;
  TempDir dir;
  const std::vector<std::string> ticket = {"--ticket-exemplo", "--modelo", "1", "--colunas", "48", "--porta"};
  auto linux = ticket, windows = ticket;
  linux.insert(linux.begin(), BuildProgram("tools/bilhetor-print/bilhetor-print"));
  linux.push_back("FILE:" + (dir / "linux.bin"));
  windows.push_back("FILE:Z:" + (dir / "windows.bin"));
  ASSERT_EQ(Rodar(linux).status, 0);
  e = wine.Windows(pasta + "bilhetor-print.exe", windows);
  EXPECT_EQ(e.status, 0) << e.saida;
  ASSERT_GT(ReadFile(dir / "linux.bin").size(), 200u);
  EXPECT_EQ(ReadFile(dir / "windows.bin"), ReadFile(dir / "linux.bin"));

  // The installed program on a desktop: its settings from C:\bkp, its icon
  // in the display's tray (Wine hands it to the X tray), the orders printed.
  // A reinstall asks it to end, and it ends between two print cycles.
  {
    XvfbServer x;
    BandejaSistema bandeja(x.Display());
    BancoTeste banco;
    LoopbackServer impressora;
    WriteFile(wine.C("bkp/sys.txt"), "127.0.0.1\r\n" + std::to_string(BancoTeste::Servidor().Port()) + "\r\n");
    WriteFile(wine.C("bkp/banco.txt"), banco.Nome() + "\r\n");
    WriteFile(wine.C("bkp/bilhetor.ini"),
              "[PosPrinter]\r\nModelo=1\r\nPorta=TCP:127.0.0.1:" + impressora.PortText() + "\r\nColunas=48\r\n");
    // bilhetorw.exe, as the Start menu and the start at log-on run it.
    ChildProcess programa(wine.Comando(pasta + "bilhetorw.exe", {}, x.Display()), dir / "bilhetor.log");
    EXPECT_NE(bandeja.EsperarIcone(90000ms), 0u) << ReadFile(dir / "bilhetor.log");
    EXPECT_TRUE(WaitUntil([&] { return bandeja.CoresDoIcone() > 8; }, 20000ms)) << bandeja.CoresDoIcone();
    EXPECT_TRUE(WaitUntil([&] { return banco.Esperando() <= 2 || !programa.Running(); }, 90000ms))
        << ReadFile(dir / "bilhetor.log");
    EXPECT_NE(impressora.Received().find("PEDIDO...: 057"), std::string::npos) << ReadFile(dir / "bilhetor.log");
    e = wine.Windows(setup.caminho, {"/S"});
    EXPECT_EQ(e.status, 0) << e.saida;
    EXPECT_TRUE(WaitUntil([&] { return !programa.Running(); }, 20000ms));
    const std::string log = ReadFile(dir / "bilhetor.log");
    EXPECT_NE(log.find("Bilhetor encerrado."), std::string::npos) << log;
    EXPECT_EQ(log.find("Sem janela"), std::string::npos) << log;
    // The settings file the program wrote back after its activation.
    EXPECT_NE(ReadFile(wine.C("bkp/bilhetor.ini")).find(impressora.PortText()), std::string::npos);
    // The desktop process of the display goes with it.
    wine.Wineserver("-k");
  }

  // A reinstall without starting with Windows keeps the shop's sys.txt,
  // puts back the banco.txt it lost, and takes the Run value away.
  const std::string daLoja = "servidor-da-loja\r\n3307\r\n";
  WriteFile(wine.C("bkp/sys.txt"), daLoja);
  fs::remove(wine.C("bkp/banco.txt"));
  e = wine.Windows(setup.caminho, {"/S", "/SEMINICIAR"});
  ASSERT_EQ(e.status, 0) << e.saida;
  EXPECT_EQ(ReadFile(wine.C("bkp/sys.txt")), daLoja);
  EXPECT_EQ(ReadFile(wine.C("bkp/banco.txt")), exemplo("banco.txt"));
  const std::string semRun = wine.Chave("user.reg", kRun);
  EXPECT_EQ(semRun.find("\"Bilhetor\""), std::string::npos) << semRun;

  // Uninstalling as administrators do, waiting for it (_?= takes the rest of
  // the command line, unquoted): the program goes, the settings and the
  // sound stay.
  e = wine.Windows(pasta + "desinstalar.exe", {"/S", "_?=C:\\Program", "Files\\Bilhetor"});
  ASSERT_EQ(e.status, 0) << e.saida;
  for (const char* nome : {"bilhetor.exe", "bilhetorw.exe", "bilhetor-print.exe", "bilhetor-janela.dll", "exemplos"})
    EXPECT_FALSE(fs::exists(pasta + nome)) << nome;
  EXPECT_FALSE(fs::exists(menu));
  EXPECT_EQ(wine.Chave("system.reg", kDesinstalar), "");
  EXPECT_EQ(ReadFile(wine.C("bkp/sys.txt")), daLoja);
  EXPECT_EQ(ReadFile(wine.C("Vialto/Musica/Som.wav")), som);

  // Installed where /D= says, then uninstalled with /REMOVERCONFIG: the
  // three settings files go, C:\bkp stays with the shop's other file in it.
  WriteFile(wine.C("bkp/copia.sql"), "-- da loja\r\n");
  e = wine.Windows(setup.caminho, {"/S", "/D=C:\\Loja\\Bilhetor"});
  ASSERT_EQ(e.status, 0) << e.saida;
  ASSERT_TRUE(fs::exists(wine.C("Loja/Bilhetor/bilhetor.exe")));
  e = wine.Windows(wine.C("Loja/Bilhetor/desinstalar.exe"), {"/S", "/REMOVERCONFIG", "_?=C:\\Loja\\Bilhetor"});
  ASSERT_EQ(e.status, 0) << e.saida;
  EXPECT_FALSE(fs::exists(wine.C("Loja/Bilhetor/bilhetor.exe")));
  for (const char* nome : {"sys.txt", "banco.txt", "bilhetor.ini"})
    EXPECT_FALSE(fs::exists(wine.C("bkp/") + nome)) << nome;
  EXPECT_TRUE(fs::exists(wine.C("bkp/copia.sql")));
  EXPECT_EQ(ReadFile(wine.C("Vialto/Musica/Som.wav")), som);
}

}  // namespace
}  // namespace bilhetor::testing
