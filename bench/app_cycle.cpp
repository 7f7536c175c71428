// The print server's cycle against the private MariaDB server, printing to a
// file port: 1,000 waiting orders of three items each in one tick, with the
// journal of printed tickets on the disk (the server's way) and without it
// (what the journal costs), an idle tick, and the same statements sent
// through libmariadb with no printing (the peer: what the database round
// trips alone cost). Also the resident memory of the headless program while
// idle.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/Bilhetor.h"
#include "app/Plataforma.h"
#include "support/MariaDbServer.h"
#include "support/TestSupport.h"

// Last: libmariadb's header defines the capability flags as macros.
#include <mysql.h>

namespace {

using bilhetor::testing::MariaDbServer;
using bilhetor::testing::TempDir;

constexpr int kPedidos = 1000;
const std::string kBanco = "beleza_bench";

class RelogioFixo : public bilhetor::TRelogioLocal {
 public:
  bilhetor::TDataHora Agora() const override { return {2024, 3, 5, 14, 20, 1, 0}; }
};

class SemMensagens : public bilhetor::TMensagens {
 public:
  void Mostrar(const std::string&, const std::string&, bilhetor::TIconeMensagem) override {}
  void MostrarErro(const std::string& m) override { erro = m; }
  std::string erro;
};

// The server with the benchmark's database: the sample schema, one customer,
// product and employee per order, and three waiting items per order.
MariaDbServer& Servidor() {
  static MariaDbServer& servidor = []() -> MariaDbServer& {
    MariaDbServer& s = MariaDbServer::Instance();
    const std::string fonte = bilhetor::testing::SourceDir();
    s.Sql("CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';\nALTER USER 'root'@'127.0.0.1' IDENTIFIED BY '5209384kq';\n"
          "GRANT ALL ON *.* TO 'root'@'127.0.0.1';\n"
          "DROP DATABASE IF EXISTS " + kBanco + ";\nCREATE DATABASE " + kBanco + ";\nUSE " + kBanco + ";\n" +
          bilhetor::testing::ReadFile(fonte + "/sql/schema.sql") +
          "INSERT INTO cadfunc VALUES (1, 'MARIA');\n"
          "INSERT INTO cadprod VALUES (1, 'Caixa Grande', 'UN', '7891234567895', 'S', 'S'),"
          " (2, 'Fita Adesiva 45mm', 'RL', '7891000001011', 'S', 'N'), (3, 'Etiqueta', 'CX', '7891000002025', 'N', 'S');\n"
          "INSERT INTO cadcliente SELECT seq, CONCAT('Cliente ', seq), '', 'Rua A', seq, '1234', '5678',"
          " 'Rio Claro', 'SP' FROM seq_1_to_" + std::to_string(kPedidos) + ";\n"
          "INSERT INTO pedido (numped, CodCli, obs2, codfunc) SELECT seq, seq, 'Entregar a tarde', 1 FROM seq_1_to_" +
          std::to_string(kPedidos) + ";\n"
          "INSERT INTO imprimir (numped, tipo, codprod, qtde) SELECT p.seq, NULL, i.seq, 1.5 FROM seq_1_to_" +
          std::to_string(kPedidos) + " p, seq_1_to_3 i ORDER BY p.seq, i.seq;\n");
    return s;
  }();
  return servidor;
}

void Reiniciar() { Servidor().Sql("UPDATE " + kBanco + ".imprimir SET impressao = 'N';\n"); }

// A print server on its own folders, connected and active.
struct Servidor1 {
  Servidor1() {
    MariaDbServer& s = Servidor();
    bilhetor::testing::WriteFile(dir / "sys.txt", s.Host() + "\n" + std::to_string(s.Port()) + "\n");
    bilhetor::testing::WriteFile(dir / "banco.txt", kBanco + "\n");
    bilhetor::testing::WriteFile(dir / "bilhetor.ini",
                                 "[PosPrinter]\nModelo=1\nPorta=FILE:" + (dir / "impressora.bin") + "\n");
    bilhetor::testing::WriteFile(dir / "bilhetor", "");
    std::filesystem::create_directory(dir / "dev");
    bilhetor::TPastas pastas;
    pastas.Executavel = dir / "bilhetor";
    pastas.Configuracao = dir.Path().string();
    pastas.Fixa = dir.Path().string();
    pastas.Dispositivos = dir / "dev";
    pastas.Estado = dir.Path().string();
    form = std::make_unique<bilhetor::TfrmBilhetor>(pastas, relogio, mensagens);
    form->FormCreate();
  }
  TempDir dir;
  RelogioFixo relogio;
  SemMensagens mensagens;
  std::unique_ptr<bilhetor::TfrmBilhetor> form;
};

// Argument 1: with the journal (in the benchmark's folder, on the disk of
// the build); 0: without it.
void BM_Ciclo_1000Pedidos(benchmark::State& state) {
  Servidor1 s;
  if (s.form->Terminado()) return state.SkipWithError("start-up failed");
  if (state.range(0) == 0) s.form->Ciclo().DefinirDiario(nullptr);
  if (state.range(0) == 1 && !s.form->Ciclo().Diario()) return state.SkipWithError("no journal");
  for (auto _ : state) {
    state.PauseTiming();
    Reiniciar();
    state.ResumeTiming();
    if (!s.form->ExecutarTratando([&] { s.form->Timer2Timer(); })) return state.SkipWithError(s.mensagens.erro.c_str());
  }
  state.counters["tickets/s"] = benchmark::Counter(static_cast<double>(kPedidos) * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Ciclo_1000Pedidos)->ArgName("diario")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_CicloOcioso(benchmark::State& state) {
  Servidor1 s;
  if (s.form->Terminado()) return state.SkipWithError("start-up failed");
  Servidor().Sql("UPDATE " + kBanco + ".imprimir SET impressao = 'S';\n");
  for (auto _ : state)
    if (!s.form->ExecutarTratando([&] { s.form->Timer2Timer(); })) return state.SkipWithError(s.mensagens.erro.c_str());
}
BENCHMARK(BM_CicloOcioso)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The peer: the same statements, in the same order, through libmariadb,
// without composing or printing anything.
void BM_MesmosComandos_libmariadb(benchmark::State& state) {
  MariaDbServer& servidor = Servidor();
  MYSQL* m = mysql_init(nullptr);
  if (!mysql_real_connect(m, servidor.Host().c_str(), "root", "5209384kq", kBanco.c_str(),
                          static_cast<unsigned>(servidor.Port()), nullptr, 0))
    return state.SkipWithError(mysql_error(m));
  const auto executar = [&](const std::string& sql) {
    mysql_real_query(m, sql.data(), sql.size());
    if (MYSQL_RES* r = mysql_store_result(m)) mysql_free_result(r);
  };
  for (auto _ : state) {
    state.PauseTiming();
    Reiniciar();
    state.ResumeTiming();
    executar("select imprimir.numped,imprimir.tipo, cadcliente.cliente,cadcliente.fantasia, cadcliente.endereco,"
             "cadcliente.numero, cadcliente.tel1,cadcliente.tel2, cadcliente.cidade,cadcliente.uf,pedido.obs2"
             " from imprimir,pedido,cadcliente,cadprod where imprimir.CodProd = cadprod.codprod"
             " and pedido.CodCli = cadcliente.codcli and imprimir.NumPed = pedido.numped"
             " and imprimir.impressao = 'N' and cadprod.revenda = 'S' group by pedido.numped order by pedido.numped");
    for (int p = 1; p <= kPedidos; ++p) {
      const std::string n = std::to_string(p);
      executar("select imprimir.id, imprimir.codprod, cadprod.descricao,cadprod.und,imprimir.qtde, cadprod.ean13"
               " from imprimir,cadprod where imprimir.impressao='N' and (cadprod.revenda='S' or cadprod.ImpOS='S')"
               " and imprimir.codprod=cadprod.codprod and imprimir.numped='" + n + "' group by imprimir.id");
      executar("select nome from cadfunc where codfunc in ( select codfunc from pedido where numped=" + n + ")");
      for (int i = 0; i < 3; ++i)
        executar("update imprimir set impressao='S' where id = " + std::to_string((p - 1) * 3 + i + 1));
    }
  }
  mysql_close(m);
  state.counters["tickets/s"] = benchmark::Counter(static_cast<double>(kPedidos) * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MesmosComandos_libmariadb)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

long RssKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string linha; std::getline(status, linha);)
    if (linha.rfind("VmRSS:", 0) == 0) return std::stol(linha.substr(6));
  return -1;
}

// The headless program (built beside this benchmark) idle for ten seconds on
// an empty queue; its resident memory at the end.
void BM_HeadlessOcioso_Memoria(benchmark::State& state) {
  Servidor1 s;
  Servidor().Sql("UPDATE " + kBanco + ".imprimir SET impressao = 'S';\n");
  std::error_code ec;
  const auto aqui = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
  const std::string programa = (aqui.parent_path() / "tools/bilhetor/bilhetor").string();
  for (auto _ : state) {
    bilhetor::testing::ChildProcess p({"env", "XDG_RUNTIME_DIR=" + s.dir.Path().string(), programa, "--headless",
                                       "--pasta", s.dir.Path().string()},
                                      s.dir / "headless.out");
    std::this_thread::sleep_for(std::chrono::seconds(10));
    state.counters["RSS_MB"] = static_cast<double>(RssKb(p.Pid())) / 1024.0;
    p.Stop();
  }
}
BENCHMARK(BM_HeadlessOcioso_Memoria)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
