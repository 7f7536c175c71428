// The query component against the raw client on the same private MariaDB:
// Open of a 100,000-row result of the print server's column kinds and a walk
// over it reading every field as text, beside the raw use_result/fetch_row
// loop over the same rows.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "db/DbAccess.h"
#include "support/MariaDbServer.h"

namespace {

using bilhetor::testing::MariaDbServer;

constexpr int kRows = 100000;
const char* const kQuery =
    "SELECT id, pedido, codigo, descricao, quantidade, valor, data, impressao, obs FROM itens_bench";

MariaDbServer& Server() {
  static MariaDbServer& server = [&]() -> MariaDbServer& {
    MariaDbServer& s = MariaDbServer::Instance();
    s.Sql(std::string("USE ") + MariaDbServer::kDatabase +
          ";\n"
          "DROP TABLE IF EXISTS itens_bench;\n"
          "CREATE TABLE itens_bench (id INT PRIMARY KEY, pedido INT, codigo VARCHAR(20), descricao VARCHAR(60),"
          " quantidade DECIMAL(12,3), valor DECIMAL(12,2), data DATETIME, impressao CHAR(1), obs TEXT NULL);\n"
          "INSERT INTO itens_bench SELECT seq, seq DIV 5, CONCAT('P', seq % 9973),"
          " CONCAT('Produto de teste numero ', seq), (seq % 17) / 4, seq / 3,"
          " '2024-01-01 08:00:00' + INTERVAL seq MINUTE, IF(seq % 2, 'N', 'S'), IF(seq % 3, NULL, 'sem cebola')"
          " FROM seq_1_to_" +
          std::to_string(kRows) + ";\n");
    return s;
  }();
  return server;
}

// Resident memory of the process in bytes.
double ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * 4096.0;
}

void BM_RawFetch(benchmark::State& state) {
  MariaDbServer& server = Server();
  bilhetor::TMySQLAPIWire api;
  auto s = api.mysql_init();
  if (!api.mysql_real_connect(s.get(), server.Host(), MariaDbServer::kUser, MariaDbServer::kPassword,
                              MariaDbServer::kDatabase, server.Port(), "", 0x10002)) {
    state.SkipWithError(api.mysql_error(s.get()).c_str());
    return;
  }
  size_t bytes = 0;
  int64_t rows = 0;
  for (auto _ : state) {
    api.mysql_query(s.get(), kQuery);
    auto res = api.mysql_use_result(s.get());
    while (api.mysql_fetch_row(res.get())) {
      for (size_t i = 0; i < res->FieldCount(); ++i) bytes += res->Value(i).size();
      ++rows;
    }
    api.mysql_free_result(std::move(res));
  }
  benchmark::DoNotOptimize(bytes);
  if (rows != static_cast<int64_t>(state.iterations()) * kRows) state.SkipWithError("row count differs");
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  api.mysql_close(std::move(s));
}

void BM_ComponentOpenAndWalk(benchmark::State& state) {
  MariaDbServer& server = Server();
  bilhetor::TDbConnection conn;
  conn.ProviderName = "MySQL";
  conn.SetServer(server.Host());
  conn.SetPort(server.Port());
  conn.SetUsername(MariaDbServer::kUser);
  conn.SetPassword(MariaDbServer::kPassword);
  conn.SetDatabase(MariaDbServer::kDatabase);
  conn.Connect();
  bilhetor::TDbQuery q(&conn);
  q.SQL.Add(kQuery);
  size_t bytes = 0;
  int64_t rows = 0;
  double held = 0;
  for (auto _ : state) {
    q.Close();
    const double before = ResidentBytes();
    q.Open();
    held = std::max(held, ResidentBytes() - before);
    const size_t n = q.FieldCount();
    for (q.First(); !q.Eof(); q.Next()) {
      for (size_t i = 0; i < n; ++i) bytes += q.Fields(i).AsString().size();
      ++rows;
    }
  }
  benchmark::DoNotOptimize(bytes);
  if (rows != static_cast<int64_t>(state.iterations()) * kRows) state.SkipWithError("row count differs");
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  state.counters["held_MiB"] = held / (1024.0 * 1024.0);
}

BENCHMARK(BM_RawFetch)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(10);
BENCHMARK(BM_ComponentOpenAndWalk)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(10);
BENCHMARK(BM_RawFetch)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(10);
BENCHMARK(BM_ComponentOpenAndWalk)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(10);

}  // namespace
