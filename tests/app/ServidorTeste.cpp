#include "ServidorTeste.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "common/Strings.h"
#include "device/DeviceLog.h"
#include "support/MariaDbServer.h"

namespace bilhetor::testing {

namespace {

// The tests never reach a print spooler: listing its queues finds none. The
// programs they start keep their journals in a folder of the tests.
struct SemSpooler {
  SemSpooler() {
    SetEnv("CUPS_SERVER", "/nonexistent/bilhetor-tests/cups.sock");
    static TempDir estado;
    SetEnv("STATE_DIRECTORY", estado.Path().string());
  }
} semSpooler;

}  // namespace

MariaDbServer& BancoTeste::Servidor() {
  static MariaDbServer& servidor = [] () -> MariaDbServer& {
    MariaDbServer& s = MariaDbServer::Instance();
    s.Sql("CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';\n"
          "GRANT ALL ON *.* TO 'root'@'127.0.0.1' WITH GRANT OPTION;\n");
    return s;
  }();
  return servidor;
}

void BancoTeste::SenhaRoot(const std::string& senha) {
  Servidor().Sql("ALTER USER 'root'@'127.0.0.1' IDENTIFIED BY '" + senha + "';\n");
}

BancoTeste::BancoTeste(bool comExemplo) {
  static std::atomic<int> contador{0};
  nome_ = "beleza_" + std::to_string(ProcessId()) + "_" + std::to_string(++contador);
  SenhaRoot("5209384kq");
  std::string sql = "CREATE DATABASE " + nome_ + ";\nUSE " + nome_ + ";\n" +
                    ReadFile(SourceDir() + "/sql/schema.sql");
  if (comExemplo) sql += ReadFile(SourceDir() + "/sql/sample-data.sql");
  Servidor().Sql(sql);
}

BancoTeste::~BancoTeste() {
  try {
    if (Servidor().Running()) Servidor().Sql("DROP DATABASE IF EXISTS " + nome_ + ";\n");
  } catch (...) {
    // A server stopped by the test: the database goes with its folder.
  }
}

std::string BancoTeste::Sql(const std::string& comandos) const {
  return Servidor().Sql("SET NAMES utf8mb4;\nUSE " + nome_ + ";\n" + comandos);
}

std::string BancoTeste::Fila() const {
  std::istringstream linhas(Sql("SELECT id, numped, impressao FROM imprimir ORDER BY id;\n"));
  std::string linha, fila;
  while (std::getline(linhas, linha)) {
    if (!fila.empty()) fila += ' ';
    fila += ReplaceAll(linha, "\t", ":");
  }
  return fila;
}

int BancoTeste::Esperando() const {
  return std::stoi(Sql("SELECT COUNT(*) FROM imprimir WHERE impressao = 'N';\n"));
}

void RelogioTeste::Avancar(long long segundos) {
  using namespace std::chrono;
  const sys_days dia = year{agora.Ano} / agora.Mes / agora.Dia;
  const sys_seconds antes = dia + hours{agora.Hora} + minutes{agora.Minuto} + seconds{agora.Segundo};
  const sys_seconds depois = antes + seconds{segundos};
  const sys_days novoDia = floor<days>(depois);
  const year_month_day data{novoDia};
  const hh_mm_ss hora{depois - novoDia};
  agora = TDataHora{static_cast<int>(data.year()), static_cast<int>(static_cast<unsigned>(data.month())),
                    static_cast<int>(static_cast<unsigned>(data.day())), static_cast<int>(hora.hours().count()),
                    static_cast<int>(hora.minutes().count()), static_cast<int>(hora.seconds().count()),
                    agora.Milissegundo};
}

PastasTeste::PastasTeste() {
  for (const char* pasta : {"config", "fixa", "dev", "estado"}) std::filesystem::create_directory(dir_ / pasta);
  pastas_.Executavel = dir_ / "config/bilhetor";
  pastas_.Configuracao = dir_ / "config";
  pastas_.Fixa = dir_ / "fixa";
  pastas_.Dispositivos = dir_ / "dev";
  pastas_.Estado = dir_ / "estado";
  pastas_.Som = SourceDir() + "/share/Som.wav";
  WriteFile(pastas_.Executavel, "");
}

void PastasTeste::Configurar(const BancoTeste& banco, const std::string& porta, const std::string& extraPosPrinter) {
  WriteFile(Config("sys.txt"), BancoTeste::Servidor().Host() + "\n" + std::to_string(BancoTeste::Servidor().Port()) + "\n");
  WriteFile(Config("banco.txt"), banco.Nome() + "\n");
  EscreverIni("[PosPrinter]\nModelo=1\nPorta=" + (porta.empty() ? "FILE:" + Saida() : porta) +
              "\nPaginaDeCodigo=2\n" + extraPosPrinter);
}

void PastasTeste::EscreverIni(const std::string& conteudo) const { WriteFile(Config("bilhetor.ini"), conteudo); }

TicketsImpressos::TicketsImpressos(TPosPrinter& impressora) {
  auto proxima = std::make_shared<bool>(false);
  impressora.OnGravarLog = [this, proxima](const std::string& linha, bool&) {
    if (*proxima) textos.push_back(linha);
    *proxima = linha.rfind("Imprimir, Copias:", 0) == 0;
  };
}

std::string ComoNoLog(const std::vector<std::string>& linhas) {
  std::string texto;
  for (const auto& l : linhas) texto += l + "\n";
  return TraduzirControles(texto);
}

std::string ProgramaBilhetor() {
  const char* binario = std::getenv("BILHETOR_BINARY_DIR");
  return CaminhoDoAnfitriao(binario ? binario : ".") + "/tools/bilhetor/bilhetor";
}

}  // namespace bilhetor::testing
