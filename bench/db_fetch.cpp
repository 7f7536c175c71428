// Bilhetor's MySQL client against libmariadb on the same private MariaDB
// server in the same run: fetching 1,000,000 rows with use_result/fetch_row
// (the client's own CPU time is what counts: the server runs in another
// process) and connect-plus-authenticate latency.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "db/MySqlClient.h"
#include "support/MariaDbServer.h"

// Last: libmariadb's header defines the capability flags as macros.
#include <mysql.h>

namespace {

using bilhetor::testing::MariaDbServer;

constexpr int kRows = 1000000;
const char* const kQuery = "SELECT id, nome, valor, quando, nada FROM linhas";

MariaDbServer& Server() {
  static MariaDbServer& server = [&]() -> MariaDbServer& {
    MariaDbServer& s = MariaDbServer::Instance();
    s.Sql(std::string("USE ") + MariaDbServer::kDatabase +
          ";\n"
          "DROP TABLE IF EXISTS linhas;\n"
          "CREATE TABLE linhas (id INT PRIMARY KEY, nome VARCHAR(32), valor DECIMAL(12,4), quando DATETIME,"
          " nada INT NULL) ENGINE=InnoDB;\n"
          "INSERT INTO linhas SELECT seq, CONCAT('produto numero ', seq), seq / 7,"
          " '2024-01-01 00:00:00' + INTERVAL seq SECOND, NULL FROM seq_1_to_" +
          std::to_string(kRows) + ";\n");
    return s;
  }();
  return server;
}

void BM_FetchRows_Bilhetor(benchmark::State& state) {
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
    if (api.mysql_query(s.get(), kQuery) != 0) {
      state.SkipWithError(api.mysql_error(s.get()).c_str());
      break;
    }
    auto res = api.mysql_use_result(s.get());
    const size_t n = res->FieldCount();
    while (const bilhetor::TMySqlBinds* row = api.mysql_fetch_row(res.get())) {
      for (size_t i = 0; i < n; ++i) bytes += (*row)[i].length;
      ++rows;
    }
    api.mysql_free_result(std::move(res));
  }
  benchmark::DoNotOptimize(bytes);
  if (rows != static_cast<int64_t>(state.iterations()) * kRows) state.SkipWithError("row count differs");
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  api.mysql_close(std::move(s));
}

void BM_FetchRows_LibMariaDb(benchmark::State& state) {
  MariaDbServer& server = Server();
  MYSQL* m = mysql_init(nullptr);
  if (!mysql_real_connect(m, server.Host().c_str(), MariaDbServer::kUser, MariaDbServer::kPassword,
                          MariaDbServer::kDatabase, static_cast<unsigned>(server.Port()), nullptr,
                          CLIENT_MULTI_STATEMENTS | CLIENT_FOUND_ROWS)) {
    state.SkipWithError(mysql_error(m));
    mysql_close(m);
    return;
  }
  size_t bytes = 0;
  int64_t rows = 0;
  for (auto _ : state) {
    if (mysql_query(m, kQuery) != 0) {
      state.SkipWithError(mysql_error(m));
      break;
    }
    MYSQL_RES* res = mysql_use_result(m);
    const unsigned n = mysql_num_fields(res);
    while (MYSQL_ROW row = mysql_fetch_row(res)) {
      const unsigned long* lengths = mysql_fetch_lengths(res);
      for (unsigned i = 0; i < n; ++i) bytes += lengths[i];
      benchmark::DoNotOptimize(row);
      ++rows;
    }
    mysql_free_result(res);
  }
  benchmark::DoNotOptimize(bytes);
  if (rows != static_cast<int64_t>(state.iterations()) * kRows) state.SkipWithError("row count differs");
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  mysql_close(m);
}

void BM_Connect_Bilhetor(benchmark::State& state) {
  MariaDbServer& server = Server();
  bilhetor::TMySQLAPIWire api;
  for (auto _ : state) {
    auto s = api.mysql_init();
    if (!api.mysql_real_connect(s.get(), server.Host(), MariaDbServer::kUser, MariaDbServer::kPassword,
                                MariaDbServer::kDatabase, server.Port(), "", 0x10002)) {
      state.SkipWithError(api.mysql_error(s.get()).c_str());
      break;
    }
    api.mysql_close(std::move(s));
  }
}

void BM_Connect_LibMariaDb(benchmark::State& state) {
  MariaDbServer& server = Server();
  for (auto _ : state) {
    MYSQL* m = mysql_init(nullptr);
    if (!mysql_real_connect(m, server.Host().c_str(), MariaDbServer::kUser, MariaDbServer::kPassword,
                            MariaDbServer::kDatabase, static_cast<unsigned>(server.Port()), nullptr,
                            CLIENT_MULTI_STATEMENTS | CLIENT_FOUND_ROWS)) {
      state.SkipWithError(mysql_error(m));
      mysql_close(m);
      break;
    }
    mysql_close(m);
  }
}

// Each fetch pair runs alternately so that both see the same server state.
BENCHMARK(BM_FetchRows_LibMariaDb)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);
BENCHMARK(BM_FetchRows_Bilhetor)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);
BENCHMARK(BM_FetchRows_LibMariaDb)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);
BENCHMARK(BM_FetchRows_Bilhetor)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);
BENCHMARK(BM_Connect_LibMariaDb)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(300);
BENCHMARK(BM_Connect_Bilhetor)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(300);
BENCHMARK(BM_Connect_LibMariaDb)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(300);
BENCHMARK(BM_Connect_Bilhetor)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(300);

}  // namespace
