// Throughput of the tag processor on separation-ticket text, with handlers
// that return short byte strings as the printer commands do. The plain
// quadratic algorithm (rebuilding the text at every replacement) runs on the
// small sizes as the peer.
#include <benchmark/benchmark.h>

#include <time.h>

#include <string>
#include <vector>

#include "posprinter/PosTags.h"
#include "posprinter/TagProcessor.h"
#include "support/TagProcessorReference.h"

namespace {

using namespace bilhetor;

// One ticket of the print server: header, customer, items, totals, barcode.
std::string Ticket(int pedido) {
  std::string t;
  t += "</zera></ce><e><n>MAPA DE SEPARACAO</n></e>\n";
  t += "<code39>" + std::to_string(100000 + pedido) + "</code39>\n";
  t += "</ae><n>Pedido:</n> " + std::to_string(pedido) + "   <n>Data:</n> 09/12/2026 10:15\n";
  t += "<n>Cliente:</n> JOS\xC9 DA SILVA COM\xC9RCIO LTDA\n";
  t += "<c>Obs: entregar no dep\xF3sito dos fundos</c>\n";
  t += "</linha_simples>\n";
  for (int i = 0; i < 8; ++i) {
    t += "<n>" + std::to_string(7890 + i) + "</n> PARAFUSO SEXTAVADO 3/8 X 2\" ZINCADO   <ad>" +
         std::to_string(i + 1) + ",000 UN</ad>\n";
  }
  t += "</linha_dupla>\n<n>Itens:</n> 8   <n>Total:</n> R$ 1.234,56\n";
  t += "<ce>Funcion\xE1rio: MARIA</ce>\n</pular_linhas></corte_total>\n";
  return t;
}

std::string TextoDe(std::size_t tamanho) {
  std::string s;
  for (int i = 0; s.size() < tamanho; ++i) s += Ticket(i);
  s.resize(tamanho);
  return s;
}

void Handlers(TTagProcessor& p) {
  p.OnTag = [](const std::string& tag, std::string& r) {
    if (tag.size() > 4) r.assign("\x1B\x64\x03", 3);
    else r.assign("\x1B\x45\x01", 3);
  };
  p.OnTagBloco = [](const std::string&, const std::string& conteudo, std::string& r) {
    r.assign("\x1D\x6B\x04", 3);
    r += conteudo;
    r += '\0';
  };
}

void BM_ProcessarTags(benchmark::State& state) {
  const std::string texto = TextoDe(static_cast<std::size_t>(state.range(0)));
  TTagProcessor p;
  RegistrarTagsPosPrinter(p);
  Handlers(p);
  std::size_t saida = 0;
  for (auto _ : state) {
    std::string r = p.ProcessarTags(texto);
    saida = r.size();
    benchmark::DoNotOptimize(r.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  state.counters["out_bytes"] = static_cast<double>(saida);
}
BENCHMARK(BM_ProcessarTags)->Arg(16 << 10)->Arg(64 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// CPU time of this thread, so that waiting for the processor on a shared
// machine does not count.
double CpuSegundos() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Growth from 1 MiB to 10 MiB measured in one loop, alternating the two
// sizes so that load from other processes hits both alike: ten 1 MiB runs,
// then one 10 MiB run. The counter "ratio" is the CPU time of one 10 MiB run
// over the time of one 1 MiB run.
void MedirCrescimento(benchmark::State& state, const std::vector<const std::string*>& pequenos,
                      const std::string& grande) {
  TTagProcessor p;
  RegistrarTagsPosPrinter(p);
  Handlers(p);
  double tPequeno = 0, tGrande = 0;
  for (auto _ : state) {
    const double a = CpuSegundos();
    for (const std::string* pequeno : pequenos) {
      std::string r = p.ProcessarTags(*pequeno);
      benchmark::DoNotOptimize(r.data());
    }
    const double b = CpuSegundos();
    std::string r = p.ProcessarTags(grande);
    benchmark::DoNotOptimize(r.data());
    const double c = CpuSegundos();
    tPequeno += (b - a) / static_cast<double>(pequenos.size());
    tGrande += c - b;
  }
  state.counters["ratio"] = tGrande / tPequeno;
  state.counters["MB_per_s_1MiB"] = static_cast<double>(state.iterations()) * (1 << 20) / tPequeno / 1e6;
  state.counters["MB_per_s_10MiB"] = static_cast<double>(state.iterations()) * (10 << 20) / tGrande / 1e6;
}

// The same 1 MiB text ten times (it stays in the processor cache between runs).
void BM_ProcessarTagsCrescimento(benchmark::State& state) {
  const std::string pequeno = TextoDe(1 << 20);
  MedirCrescimento(state, std::vector<const std::string*>(10, &pequeno), TextoDe(10 << 20));
}
BENCHMARK(BM_ProcessarTagsCrescimento)->Unit(benchmark::kMillisecond);

// The ten 1 MiB runs taken over ten different 1 MiB texts (the ten pieces of
// the 10 MiB text), so that neither size profits from finding its text still
// in the processor cache from the run before.
void BM_ProcessarTagsCrescimentoFrio(benchmark::State& state) {
  const std::string grande = TextoDe(10 << 20);
  std::vector<std::string> pedacos;
  for (int i = 0; i < 10; ++i) pedacos.push_back(grande.substr(static_cast<std::size_t>(i) << 20, 1 << 20));
  std::vector<const std::string*> ponteiros;
  for (const std::string& pedaco : pedacos) ponteiros.push_back(&pedaco);
  MedirCrescimento(state, ponteiros, grande);
}
BENCHMARK(BM_ProcessarTagsCrescimentoFrio)->Unit(benchmark::kMillisecond);

// The peer: the plain algorithm, on sizes it can finish.
void BM_ProcessarTagsPlain(benchmark::State& state) {
  const std::string texto = TextoDe(static_cast<std::size_t>(state.range(0)));
  TTagProcessor language;
  RegistrarTagsPosPrinter(language);
  bilhetor::testing::ReferenceTagProcessor ref;
  for (std::size_t i = 0; i < language.Registro.Count(); ++i)
    ref.registro.push_back({language.Registro[i].Marca(), language.Registro[i].Bloco});
  TTagProcessor p;
  Handlers(p);
  ref.onTag = p.OnTag;
  ref.onTagBloco = p.OnTagBloco;
  for (auto _ : state) {
    std::string r = ref.ProcessarTags(texto);
    benchmark::DoNotOptimize(r.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ProcessarTagsPlain)->Arg(16 << 10)->Arg(64 << 10)->Unit(benchmark::kMillisecond);

}  // namespace
