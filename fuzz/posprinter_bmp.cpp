// Fuzzes the BMP readers and the forms of the "<bmp>" content. The first byte
// chooses the route; the rest is the input. Every route either yields
// consistent data or raises one of the image errors; a crash, a read outside
// the input or an inconsistent raster is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/Strings.h"
#include "posprinter/BmpReader.h"
#include "posprinter/PosImage.h"

namespace {

using namespace bilhetor;

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckRaster(const TRasterImagem& r) {
  Check(r.Largura >= 0 && r.Altura >= 0);
  const std::size_t perRow = (static_cast<std::size_t>(r.Largura) + 7) / 8;
  Check(r.Raster.size() == perRow * static_cast<std::size_t>(r.Altura));
}

void Bands(const TRasterImagem& r, int bytesPerColumn) {
  if (r.Largura < 1) return;
  const auto bands = RasterParaColunas(r.Raster, r.Largura, bytesPerColumn);
  const std::size_t columns = (static_cast<std::size_t>(r.Largura) + 7) / 8 * 8;
  for (const auto& b : bands) Check(!bands.empty() && b.size() % columns == 0);
}

void Monochrome(std::string_view bytes, bool invert) {
  const bool mono = EhBMPMono(bytes, true);
  try {
    const TRasterImagem r = LerBMPMono(bytes, invert);
    Check(mono);
    Check(r.Largura % 8 == 0 && r.Altura > 0);
    CheckRaster(r);
    Bands(r, 3);
  } catch (const EPosImage&) {
  }
}

// The palette reader checks what the plain reader checks, and gives a raster
// of the same size.
void ByPalette(std::string_view bytes) {
  bool lida = true;
  TRasterImagem r;
  try {
    r = LerBMPMonoPelaPaleta(bytes);
  } catch (const EPosImage&) {
    lida = false;
  }
  bool lidaSemPaleta = true;
  TRasterImagem semPaleta;
  try {
    semPaleta = LerBMPMono(bytes, true);
  } catch (const EPosImage&) {
    lidaSemPaleta = false;
  }
  Check(lida == lidaSemPaleta);
  if (!lida) return;
  CheckRaster(r);
  Check(r.Largura == semPaleta.Largura && r.Altura == semPaleta.Altura);
}

void Loader(std::string_view bytes) {
  try {
    const TBitmap b = BitmapLoaderPadrao().CarregarBytes(bytes);
    Check(b.Largura() > 0 && b.Altura() > 0);
    const TRasterImagem r = ImagemParaRaster(b);
    CheckRaster(r);
    Check(r.Altura == b.Altura());
    Bands(r, 0);
  } catch (const EInvalidGraphic&) {
  } catch (const EPosImage&) {
  }
}

void Content(std::string_view text) {
  try {
    switch (FormaConteudoBMP(text)) {
      case TFormaConteudoBMP::fcVazio:
        Check(Trim(text).empty());
        break;
      case TFormaConteudoBMP::fcTextoBinario: {
        const auto lines = DividirLinhas(Trim(text));
        const TRasterImagem r = TextoBinarioParaRaster(lines);
        CheckRaster(r);
        Check(static_cast<std::size_t>(r.Altura) == lines.size());
        if (r.Largura > 0) {
          Check(RasterStrToAscII(r.Raster, r.Largura, false).size() == lines.size());
          Check(RasterParaColunas(r.Raster, r.Largura, 3) ==
                TextoBinarioParaColunas(RasterStrToAscII(r.Raster, r.Largura, false), 3));
        }
        break;
      }
      case TFormaConteudoBMP::fcBase64: {
        const std::string t = Trim(text);
        const std::string bytes = DecodificarBase64(t);
        const std::size_t padding = t.size() - t.find_last_not_of('=') - 1;
        Check(bytes.size() == t.size() / 4 * 3 - padding);
        ByPalette(bytes);
        break;
      }
      case TFormaConteudoBMP::fcArquivo:
        break;
    }
  } catch (const EPosImage&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 4) {
    case 0:
      Monochrome(input, true);
      ByPalette(input);
      break;
    case 1: Monochrome(input, false); break;
    case 2: Loader(input); break;
    default: Content(input); break;
  }
  return 0;
}
