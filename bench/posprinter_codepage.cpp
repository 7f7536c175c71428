// Throughput of the code page conversion of Windows-1252 text, with a plain
// copy of the same text as the peer.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "posprinter/CodePage.h"

namespace {

using namespace bilhetor;

// 1 MiB of Portuguese-looking text: mostly ASCII with accented letters.
const std::string& Texto() {
  static const std::string texto = [] {
    const char* letras = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJ 0123456789 ,.\n\xE1\xE9\xED\xF3\xFA\xE3\xF5\xE7\xC7\xC3";
    const std::size_t n = std::strlen(letras);
    std::mt19937 rng(1);
    std::string s(1 << 20, ' ');
    for (char& c : s) c = letras[rng() % n];
    return s;
  }();
  return texto;
}

void BM_Converter(benchmark::State& state) {
  const std::string& texto = Texto();
  const int pagina = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::string r = ConverterPaginaDeCodigo(texto, pagina);
    benchmark::DoNotOptimize(r.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * texto.size()));
}
BENCHMARK(BM_Converter)->Arg(437)->Arg(850)->Arg(852)->Arg(860)->Arg(1252)->Arg(65001);

void BM_TextoParaAscii(benchmark::State& state) {
  const std::string& texto = Texto();
  for (auto _ : state) {
    std::string r = TextoParaAscii(texto);
    benchmark::DoNotOptimize(r.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * texto.size()));
}
BENCHMARK(BM_TextoParaAscii);

// The peer: copying the text into a new string.
void BM_Copia(benchmark::State& state) {
  const std::string& texto = Texto();
  for (auto _ : state) {
    std::string r(texto);
    benchmark::DoNotOptimize(r.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * texto.size()));
}
BENCHMARK(BM_Copia);

}  // namespace
