// The receipt preview of a separation ticket of three items: the bytes the
// Epson command set sends, laid out, drawn and encoded as PNG (target: under
// 20 ms), and each step alone. The glyphs are rendered once per process; the
// first picture of the process, with the creation of Qt's application and the
// font, is the counter primeira_ms.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "app/ConfiguracaoImpressora.h"
#include "app/TicketSeparacao.h"
#include "posprinter/PosPrinter.h"
#include "preview/Preview.h"

namespace {

using namespace bilhetor;
using namespace bilhetor::preview;

std::string BytesTicket() {
  const std::string arquivo =
      (std::filesystem::temp_directory_path() / ("bilhetor_bench_preview_" + std::to_string(::getpid()))).string();
  TPosPrinter impressora;
  PrepararImpressora(impressora);
  TConfiguracaoImpressora config;
  config.Porta = "FILE:" + arquivo;
  AplicarConfiguracao(impressora, config);
  impressora.Ativar();
  const TCamposTexto pedido{{"numped", "57"},       {"tipo", ""},   {"cliente", "Jos\xE9 \xC1vila"},
                            {"cidade", "Rio Claro"}, {"uf", "SP"},   {"endereco", "Rua A"},
                            {"numero", "10"},        {"tel1", "1234"}, {"tel2", "5678"},
                            {"obs2", "Entregar \xE0 tarde"}};
  for (const auto& l : CabecalhoTicket(pedido, 48, TDataHora{2024, 3, 5, 14, 20, 1, 0})) impressora.Buffer().Add(l);
  const char* produtos[] = {"Caixa Grande", "Fita adesiva transparente", "Etiqueta 100 x 50"};
  for (int i = 0; i < 3; ++i) {
    const TCamposTexto item{{"qtde", std::to_string(i + 1)}, {"und", "UN"}, {"descricao", produtos[i]},
                            {"codprod", std::to_string(42 + i)}, {"ean13", "789123456789" + std::to_string(i)}};
    for (const auto& l : ItemTicket(item)) impressora.Buffer().Add(l);
  }
  for (const auto& l : RodapeTicket("", "MARIA", 3, 60000, 48)) impressora.Buffer().Add(l);
  impressora.Imprimir("", false, true, true, 1);
  impressora.Desativar();
  std::ifstream in(arquivo, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(arquivo);
  return bytes;
}

const std::string& Ticket() {
  static const std::string bytes = BytesTicket();
  return bytes;
}


// The first picture of the process: Qt's application, the font, every glyph.
double PrimeiraImagemMs() {
  static const double ms = [] {
    const auto inicio = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(PngEscPos(Ticket()));
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio).count();
  }();
  return ms;
}

void BM_TicketParaPng(benchmark::State& state) {
  state.counters["primeira_ms"] = PrimeiraImagemMs();
  std::size_t tamanho = 0;
  for (auto _ : state) {
    const std::string png = PngEscPos(Ticket());
    tamanho = png.size();
    benchmark::DoNotOptimize(png);
  }
  state.counters["bytes_in"] = static_cast<double>(Ticket().size());
  state.counters["png_bytes"] = static_cast<double>(tamanho);
}
BENCHMARK(BM_TicketParaPng)->Unit(benchmark::kMillisecond);

void BM_Interpretar(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(InterpretarEscPos(Ticket()));
}
BENCHMARK(BM_Interpretar)->Unit(benchmark::kMillisecond);

void BM_Desenhar(benchmark::State& state) {
  const TFolha folha = InterpretarEscPos(Ticket());
  for (auto _ : state) benchmark::DoNotOptimize(DesenharFolha(folha));
  state.counters["altura"] = folha.altura;
}
BENCHMARK(BM_Desenhar)->Unit(benchmark::kMillisecond);

void BM_CodificarPng(benchmark::State& state) {
  const QImage imagem = RenderizarEscPos(Ticket()).imagem;
  for (auto _ : state) benchmark::DoNotOptimize(CodificarPng(imagem));
}
BENCHMARK(BM_CodificarPng)->Unit(benchmark::kMillisecond);

}  // namespace
