// The engine's print pipeline: separation tickets of 40 tagged lines through a
// file port and through a send event that takes the data, and large tagged
// texts (10 MB and 100 MB) through the whole pipeline.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

#include "posprinter/PosPrinter.h"

namespace {

using bilhetor::TPosPrinter;

std::vector<std::string> Ticket(int pedido) {
  std::vector<std::string> l;
  const std::string num = std::to_string(pedido);
  l.push_back("</zera></ce><e><n>MAPA DE SEPARACAO</n></e>");
  l.push_back("<code39>" + num + "</code39>");
  l.push_back("<n>Pedido:</n> " + num + "   Data: 08/12/2026 14:03");
  l.push_back("Cliente: Jos\xE9 da Concei\xE7\xE3o Ara\xFAjo");
  l.push_back("Obs.: entregar no balc\xE3o");
  l.push_back("</linha_dupla>");
  l.push_back("</ae><c>Codigo  Descricao                              Qtd   Un</c>");
  for (int i = 0; i < 28; ++i)
    l.push_back("<c>" + std::to_string(100000 + i) + "  Parafuso sextavado a\xE7o inox M" + std::to_string(i % 12) +
                "  x 40mm        " + std::to_string(i + 1) + "   PC</c>");
  l.push_back("</linha_simples>");
  l.push_back("<ad>Itens: 28</ad>");
  l.push_back("Funcion\xE1rio: Maria");
  l.push_back("<ce>Volumes: 3</ce>");
  l.push_back("</corte_total>");
  return l;
}

std::string TextoMarcado(std::size_t bytes) {
  std::string t;
  t.reserve(bytes + 4096);
  int pedido = 1;
  while (t.size() < bytes) {
    for (const auto& linha : Ticket(pedido++)) {
      t += linha;
      t += "\r\n";
    }
  }
  return t;
}

std::string PastaTemp() {
  auto p = std::filesystem::temp_directory_path() / ("bilhetor_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(p);
  return p.string();
}

void BM_TicketArquivo(benchmark::State& state) {
  const std::string pasta = PastaTemp();
  TPosPrinter p;
  p.SetPorta(pasta + "/ticket.txt");
  p.Ativar();
  const auto linhas = Ticket(57);
  std::size_t bytes = 0;
  int64_t n = 0;
  for (auto _ : state) {
    for (const auto& l : linhas) p.Buffer().Add(l);
    p.Imprimir();
    // Start the file anew now and then so it does not grow without end.
    if (++n % 2000 == 0) {
      p.Desativar();
      p.Ativar();
    }
  }
  for (const auto& l : linhas) bytes += l.size() + 2;
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
  p.Desativar();
  std::filesystem::remove_all(pasta);
}
BENCHMARK(BM_TicketArquivo)->Unit(benchmark::kMicrosecond);

void BM_TicketEventoNulo(benchmark::State& state) {
  const std::string pasta = PastaTemp();
  TPosPrinter p;
  p.SetPorta(pasta + "/nulo.txt");
  p.OnEnviarStringDevice = [](const std::string&, bool& tratado) { tratado = true; };
  p.Ativar();
  const auto linhas = Ticket(57);
  for (auto _ : state) {
    for (const auto& l : linhas) p.Buffer().Add(l);
    p.Imprimir();
  }
  state.SetItemsProcessed(state.iterations());
  p.Desativar();
  std::filesystem::remove_all(pasta);
}
BENCHMARK(BM_TicketEventoNulo)->Unit(benchmark::kMicrosecond);

// CPU time of this thread: the build machine is shared, so wall time would
// measure the other jobs as much as this one.
double CpuSegundos() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The whole pipeline on one large text: code page, line breaks, tags, send
// (taken by the send event). With comLog an OnGravarLog handler reads the log,
// so the readable copy of the text is built as well.
// One engine for the whole program, as the application keeps one.
struct MotorGrande {
  std::string pasta = PastaTemp();
  TPosPrinter p;
  std::size_t enviados = 0;
  MotorGrande() {
    p.SetPorta(pasta + "/grande.txt");
    p.OnEnviarStringDevice = [this](const std::string& d, bool& tratado) {
      enviados += d.size();
      tratado = true;
    };
    p.Ativar();
  }
  ~MotorGrande() {
    p.Desativar();
    std::filesystem::remove_all(pasta);
  }
};

double ImprimirTexto(const std::string& texto, bool comLog) {
  static MotorGrande m;
  if (comLog)
    m.p.OnGravarLog = [](const std::string&, bool& tratado) { tratado = true; };
  else
    m.p.OnGravarLog = nullptr;
  const double t0 = CpuSegundos();
  m.p.Imprimir(texto);
  const double segundos = CpuSegundos() - t0;
  benchmark::DoNotOptimize(m.enviados);
  return segundos;
}

void BM_TextoMarcado(benchmark::State& state) {
  const std::string texto = TextoMarcado(static_cast<std::size_t>(state.range(0)) << 20);
  const bool comLog = state.range(1) != 0;
  for (auto _ : state) state.SetIterationTime(ImprimirTexto(texto, comLog));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(texto.size()));
}
BENCHMARK(BM_TextoMarcado)
    ->Args({10, 0})
    ->Args({100, 0})
    ->Args({10, 1})
    ->ArgNames({"MB", "log"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// 10x the text against 1x in the same run: the ratio of their best times
// (the best of several runs, so that other jobs on the machine weigh less).
void BM_Escala10x(benchmark::State& state) {
  const std::string t10 = TextoMarcado(10u << 20);
  const std::string t100 = TextoMarcado(100u << 20);
  double a = 1e9, b = 1e9;
  for (auto _ : state) {
    for (int i = 0; i < 5; ++i) {
      a = std::min(a, ImprimirTexto(t10, false));
      a = std::min(a, ImprimirTexto(t10, false));
      b = std::min(b, ImprimirTexto(t100, false));
    }
  }
  state.counters["best_10MB_ms"] = a * 1000;
  state.counters["best_100MB_ms"] = b * 1000;
  state.counters["ratio_100MB_10MB"] = b / a;
}
BENCHMARK(BM_Escala10x)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
