#include "support/BmpPictures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "support/TestSupport.h"

extern char** environ;

namespace bilhetor::testing {

TestPicture::TestPicture(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {}

bool TestPicture::Printed(int x, int y) const {
  const Rgb& c = At(x, y);
  return (30 * c.r + 59 * c.g + 11 * c.b) / 100 <= 127;
}

TestPicture PatternPicture(int width, int height, uint32_t seed) {
  TestPicture p(width, height);
  std::mt19937 rng(seed);
  for (auto& px : p.pixels)
    if (rng() % 3 == 0) px = Rgb{0, 0, 0};
  p.At(0, 0) = p.At(width - 1, 0) = p.At(0, height - 1) = p.At(width - 1, height - 1) = Rgb{0, 0, 0};
  return p;
}

TestPicture ColourPicture(int width, int height, const std::vector<Rgb>& colours, uint32_t seed) {
  TestPicture p(width, height);
  std::mt19937 rng(seed);
  // Every colour appears at least once (so the palette holds them all), the
  // rest at random.
  for (std::size_t i = 0; i < p.pixels.size(); ++i)
    p.pixels[i] = i < colours.size() ? colours[i] : colours[rng() % colours.size()];
  return p;
}

std::string MakeBmp(const std::string& folder, const std::string& name, const TestPicture& picture, BmpKind kind) {
  const std::string ppm = folder + "/" + name + ".ppm";
  {
    std::ofstream out(ppm, std::ios::binary);
    out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
    for (const Rgb& c : picture.pixels) out.put(static_cast<char>(c.r)).put(static_cast<char>(c.g)).put(static_cast<char>(c.b));
  }
  const std::string bmp = folder + "/" + name + ".bmp";
  std::vector<std::string> args{ppm};
  switch (kind) {
    case BmpKind::Mono1: args.insert(args.end(), {"-type", "bilevel", "BMP3:" + bmp}); break;
    case BmpKind::Mono1Os2: args.insert(args.end(), {"-type", "bilevel", "BMP2:" + bmp}); break;
    case BmpKind::Palette4:
    case BmpKind::Palette8: args.insert(args.end(), {"-type", "palette", "-compress", "none", "BMP3:" + bmp}); break;
    case BmpKind::Palette8Rle: args.insert(args.end(), {"-type", "palette", "-compress", "RLE", "BMP3:" + bmp}); break;
    case BmpKind::Rgb24: args.insert(args.end(), {"-type", "truecolor", "BMP3:" + bmp}); break;
    case BmpKind::Rgba32: args.insert(args.end(), {"-alpha", "on", "-type", "truecoloralpha", "BMP:" + bmp}); break;
  }
  if (!RunConvert(args)) {
    ADD_FAILURE() << "convert could not make " << bmp;
    return "";
  }
  return bmp;
}

uint32_t BmpField32(const std::string& bmp, std::size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bmp.at(offset + i));
  return v;
}

uint32_t BmpField16(const std::string& bmp, std::size_t offset) {
  return static_cast<unsigned char>(bmp.at(offset)) | (static_cast<uint32_t>(static_cast<unsigned char>(bmp.at(offset + 1))) << 8);
}

void SetBmpField32(std::string& bmp, std::size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bmp.at(offset + i) = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string FlipToTopDown(const std::string& bmp) {
  const uint32_t offset = BmpField32(bmp, 10);
  const int32_t width = static_cast<int32_t>(BmpField32(bmp, 18));
  const int32_t height = static_cast<int32_t>(BmpField32(bmp, 22));
  const uint32_t bpp = BmpField16(bmp, 28);
  const std::size_t stride = (static_cast<std::size_t>(width) * bpp + 31) / 32 * 4;
  std::string out = bmp;
  SetBmpField32(out, 22, static_cast<uint32_t>(-height));
  for (int32_t y = 0; y < height; ++y)
    out.replace(offset + y * stride, stride, bmp, offset + (height - 1 - y) * stride, stride);
  return out;
}

std::string ExpectedRaster(const TestPicture& picture, int rasterWidth) {
  const std::size_t perRow = (static_cast<std::size_t>(rasterWidth) + 7) / 8;
  std::string raster(perRow * picture.height, '\0');
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width && x < rasterWidth; ++x)
      if (picture.Printed(x, y)) raster[y * perRow + x / 8] |= static_cast<char>(0x80 >> (x % 8));
  return raster;
}

std::vector<std::string> ExpectedBands(const TestPicture& picture, int columns, int bytesPerColumn) {
  const int bandHeight = 8 * bytesPerColumn;
  std::vector<std::string> bands;
  for (int top = 0; top < picture.height; top += bandHeight) {
    std::string band;
    for (int x = 0; x < columns; ++x)
      for (int k = 0; k < bytesPerColumn; ++k) {
        unsigned char byte = 0;
        for (int j = 0; j < 8; ++j) {
          const int y = top + 8 * k + j;
          if (y < picture.height && x < picture.width && picture.Printed(x, y)) byte |= static_cast<unsigned char>(0x80 >> j);
        }
        band.push_back(static_cast<char>(byte));
      }
    bands.push_back(band);
  }
  return bands;
}

}  // namespace bilhetor::testing
