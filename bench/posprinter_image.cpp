// Image conversions on a receipt-wide picture: 576 dots wide, 2000 rows (and
// 500 and 8000 rows to show the work grows with the number of dots).
//   ImagemParaRaster     a loaded 24-bit picture thresholded into a raster
//   LoadAndRaster        the same from the bytes of a BMP file
//   RasterParaColunas    the raster cut into 24-dot column bands
//   TextRouteColunas     the same through the text picture (RasterStrToAscII
//                        then TextoBinarioParaColunas), the peer for the ratio
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "posprinter/BmpReader.h"
#include "posprinter/PosImage.h"

namespace {

using namespace bilhetor;

constexpr int kWidth = 576;

std::vector<uint8_t> Pixels(int height) {
  std::vector<uint8_t> rgb(static_cast<std::size_t>(kWidth) * height * 3);
  std::mt19937 rng(42);
  for (auto& c : rgb) c = static_cast<uint8_t>(rng());
  return rgb;
}

std::string BmpBytes(int height) {
  const std::vector<uint8_t> rgb = Pixels(height);
  const uint32_t stride = (kWidth * 3 + 3) / 4 * 4;
  std::string s(54, '\0');
  auto put32 = [&](std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  s[0] = 'B';
  s[1] = 'M';
  put32(2, 54 + stride * height);
  put32(10, 54);
  put32(14, 40);
  put32(18, kWidth);
  put32(22, static_cast<uint32_t>(height));
  s[26] = 1;
  s[28] = 24;
  put32(34, stride * height);
  for (int y = height - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < kWidth; ++x) {
      const std::size_t i = (static_cast<std::size_t>(y) * kWidth + x) * 3;
      row[x * 3] = static_cast<char>(rgb[i + 2]);
      row[x * 3 + 1] = static_cast<char>(rgb[i + 1]);
      row[x * 3 + 2] = static_cast<char>(rgb[i]);
    }
    s += row;
  }
  return s;
}

void Finish(benchmark::State& state, int height) {
  const int64_t dots = static_cast<int64_t>(kWidth) * height;
  state.SetComplexityN(dots);
  state.counters["Mdots/s"] = benchmark::Counter(static_cast<double>(dots) * state.iterations() / 1e6,
                                                 benchmark::Counter::kIsRate);
}

void ImagemParaRasterBench(benchmark::State& state) {
  const int height = static_cast<int>(state.range(0));
  const TBitmap bmp = TBitmap::ComCores(kWidth, height, 24, Pixels(height));
  for (auto _ : state) {
    TRasterImagem r = ImagemParaRaster(bmp);
    benchmark::DoNotOptimize(r.Raster.data());
  }
  Finish(state, height);
}

void LoadAndRaster(benchmark::State& state) {
  const int height = static_cast<int>(state.range(0));
  const std::string bytes = BmpBytes(height);
  for (auto _ : state) {
    TRasterImagem r = ImagemParaRaster(BitmapLoaderPadrao().CarregarBytes(bytes));
    benchmark::DoNotOptimize(r.Raster.data());
  }
  Finish(state, height);
}

void RasterParaColunasBench(benchmark::State& state) {
  const int height = static_cast<int>(state.range(0));
  const TRasterImagem r = ImagemParaRaster(TBitmap::ComCores(kWidth, height, 24, Pixels(height)));
  for (auto _ : state) {
    auto bands = RasterParaColunas(r.Raster, r.Largura, 3);
    benchmark::DoNotOptimize(bands.data());
  }
  Finish(state, height);
}

void TextRouteColunas(benchmark::State& state) {
  const int height = static_cast<int>(state.range(0));
  const TRasterImagem r = ImagemParaRaster(TBitmap::ComCores(kWidth, height, 24, Pixels(height)));
  for (auto _ : state) {
    auto bands = TextoBinarioParaColunas(RasterStrToAscII(r.Raster, r.Largura, false), 3);
    benchmark::DoNotOptimize(bands.data());
  }
  Finish(state, height);
}

BENCHMARK(ImagemParaRasterBench)->Arg(500)->Arg(2000)->Arg(8000)->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadAndRaster)->Arg(500)->Arg(2000)->Arg(8000)->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
BENCHMARK(RasterParaColunasBench)->Arg(500)->Arg(2000)->Arg(8000)->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
BENCHMARK(TextRouteColunas)->Arg(500)->Arg(2000)->Arg(8000)->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);

}  // namespace
