// The bitmap loader on hand-made files: the forms ImageMagick does not write
// (run-length 4-bit data, plain 32-bit pixels, odd colour masks) and damaged
// ones.
#include <gtest/gtest.h>

#include "posprinter/BmpReader.h"
#include "posprinter/PosImage.h"

namespace bilhetor {
namespace {

void Put32(std::string& s, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A BMP with a 40-byte header; extra (masks, palette) follows the header and
// pixels follow extra.
std::string Bmp(int32_t width, int32_t height, uint16_t bpp, uint32_t compression, const std::string& extra,
                const std::string& pixels, uint32_t coloursUsed = 0) {
  std::string s(54, '\0');
  s[0] = 'B';
  s[1] = 'M';
  const uint32_t offset = static_cast<uint32_t>(54 + extra.size());
  Put32(s, 2, static_cast<uint32_t>(offset + pixels.size()));
  Put32(s, 10, offset);
  Put32(s, 14, 40);
  Put32(s, 18, static_cast<uint32_t>(width));
  Put32(s, 22, static_cast<uint32_t>(height));
  s[26] = 1;
  s[28] = static_cast<char>(bpp);
  Put32(s, 30, compression);
  Put32(s, 34, static_cast<uint32_t>(pixels.size()));
  Put32(s, 46, coloursUsed);
  return s + extra + pixels;
}

// Palette entries are stored B, G, R, 0.
std::string Palette(const std::vector<TCorRGB>& colours) {
  std::string p;
  for (const auto& c : colours) p += {static_cast<char>(c.B), static_cast<char>(c.G), static_cast<char>(c.R), '\0'};
  return p;
}

std::string Indices(const TBitmap& b) {
  std::string s;
  for (int y = 0; y < b.Altura(); ++y) {
    for (int x = 0; x < b.Largura(); ++x) s += static_cast<char>('0' + b.Indice(x, y));
    s += '|';
  }
  return s;
}

const TBmpReader kReader;

TEST(BmpLoader, RunLengthEightBits) {
  const auto pal = Palette({{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {0, 255, 0}});
  // Bottom row: run of 3 x index 1, literal 2 3 1 (padded), end of row.
  // Next row: move 2 right, run of 2 x index 2, end of picture.
  const std::string data("\x03\x01" "\x00\x03\x02\x03\x01\x00" "\x00\x00"
                         "\x00\x02\x02\x00" "\x02\x02" "\x00\x01", 18);
  const TBitmap b = kReader.CarregarBytes(Bmp(7, 3, 8, 1, pal, data, 4));
  EXPECT_EQ(b.BitsPorPixel(), 8);
  EXPECT_EQ(Indices(b), "0000000|0022000|1112310|");
  EXPECT_EQ(b.Pixel(2, 1), (TCorRGB{255, 0, 0}));
}

TEST(BmpLoader, RunLengthFourBits) {
  const auto pal = Palette({{255, 255, 255}, {0, 0, 0}, {0, 0, 255}});
  // Bottom row: run of 5 alternating 1 and 2; literal of 3 nibbles 2 1 0
  // (two bytes, already even); end of row. Top row: run of 9 past the width
  // of 6 is clipped; end of picture.
  const std::string data("\x05\x12" "\x00\x03\x21\x00" "\x00\x00" "\x09\x11" "\x00\x01", 12);
  const TBitmap b = kReader.CarregarBytes(Bmp(6, 2, 4, 2, pal, data, 3));
  EXPECT_EQ(Indices(b), "111111|121212|");
}

TEST(BmpLoader, RunLengthDamageIsRefusedOrClipped) {
  const auto pal = Palette({{255, 255, 255}, {0, 0, 0}});
  // An index past the palette.
  EXPECT_THROW(kReader.CarregarBytes(Bmp(4, 1, 8, 1, pal, std::string("\x02\x05\x00\x01", 4), 2)), EInvalidGraphic);
  // A literal group longer than the data left.
  EXPECT_THROW(kReader.CarregarBytes(Bmp(40, 1, 8, 1, pal, std::string("\x00\x20\x01\x01", 4), 2)), EInvalidGraphic);
  // Data that stops early leaves the rest at index 0; a move past the top ends it.
  const TBitmap early = kReader.CarregarBytes(Bmp(3, 2, 8, 1, pal, std::string("\x02\x01", 2), 2));
  EXPECT_EQ(Indices(early), "000|110|");
  const TBitmap moved = kReader.CarregarBytes(Bmp(3, 2, 8, 1, pal, std::string("\x00\x02\x01\x09\x03\x01", 6), 2));
  EXPECT_EQ(Indices(moved), "000|000|");
  // Top-down run-length data does not exist.
  EXPECT_THROW(kReader.CarregarBytes(Bmp(3, -2, 8, 1, pal, std::string("\x02\x01", 2), 2)), EInvalidGraphic);
  // A huge picture from a few bytes of data is refused before any memory is taken.
  EXPECT_THROW(kReader.CarregarBytes(Bmp(60000, 60000, 8, 1, pal, std::string("\x00\x01", 2), 2)), EInvalidGraphic);
}

TEST(BmpLoader, ThirtyTwoBitsPlainAndWithMasks) {
  // Plain: B, G, R, unused.
  const std::string plain = Bmp(2, 1, 32, 0, "", std::string("\x00\x00\xFF\x7F" "\x10\x20\x30\x00", 8));
  const TBitmap p = kReader.CarregarBytes(plain);
  EXPECT_EQ(p.Pixel(0, 0), (TCorRGB{255, 0, 0}));
  EXPECT_EQ(p.Pixel(1, 0), (TCorRGB{0x30, 0x20, 0x10}));
  // Masks of 10 bits each (R at bit 20, G at 10, B at 0), after the header.
  std::string masks(12, '\0');
  Put32(masks, 0, 0x3FF00000);
  Put32(masks, 4, 0x000FFC00);
  Put32(masks, 8, 0x000003FF);
  std::string px(4, '\0');
  Put32(px, 0, (0x3FFu << 20) | (0x200u << 10) | 0x004u);
  const TBitmap m = kReader.CarregarBytes(Bmp(1, 1, 32, 3, masks, px));
  EXPECT_EQ(m.Pixel(0, 0), (TCorRGB{255, 128, 1}));
  // Masks of 5 bits scale up to the full range.
  Put32(masks, 0, 0x7C00);
  Put32(masks, 4, 0x03E0);
  Put32(masks, 8, 0x001F);
  Put32(px, 0, (31u << 10) | (0u << 5) | 16u);
  EXPECT_EQ(kReader.CarregarBytes(Bmp(1, 1, 32, 3, masks, px)).Pixel(0, 0), (TCorRGB{255, 0, 131}));
  // A mask with a hole is refused.
  Put32(masks, 0, 0x00F0F000);
  EXPECT_THROW(kReader.CarregarBytes(Bmp(1, 1, 32, 3, masks, px)), EInvalidGraphic);
}

TEST(BmpLoader, PalettesAndIndices) {
  // A 1-bit file with a one-colour palette whose pixels use index 1.
  const std::string row("\x40\x00\x00\x00", 4);
  EXPECT_THROW(kReader.CarregarBytes(Bmp(2, 1, 1, 0, Palette({{0, 0, 0}}), row, 1)), EInvalidGraphic);
  // The palette cut off by the end of the file.
  EXPECT_THROW(kReader.CarregarBytes(Bmp(2, 1, 8, 0, "", "", 0)), EInvalidGraphic);
  // More colours announced than the bit count allows: only those are read.
  const TBitmap b = kReader.CarregarBytes(
      Bmp(2, 1, 1, 0, Palette({{0, 0, 0}, {255, 255, 255}, {1, 2, 3}}), row, 3));
  EXPECT_EQ(b.Paleta().size(), 2u);
  EXPECT_EQ(b.Pixel(0, 0), (TCorRGB{0, 0, 0}));
  EXPECT_EQ(b.Pixel(1, 0), (TCorRGB{255, 255, 255}));
}

TEST(BmpLoader, HeadersThatAreRefused) {
  const std::string ok = Bmp(1, 1, 24, 0, "", std::string(4, '\0'));
  EXPECT_NO_THROW(kReader.CarregarBytes(ok));
  std::string unknownHeader = ok;
  Put32(unknownHeader, 14, 41);
  EXPECT_THROW(kReader.CarregarBytes(unknownHeader), EInvalidGraphic);
  std::string twoPlanes = ok;
  twoPlanes[26] = 2;
  EXPECT_THROW(kReader.CarregarBytes(twoPlanes), EInvalidGraphic);
  std::string zeroWidth = ok;
  Put32(zeroWidth, 18, 0);
  EXPECT_THROW(kReader.CarregarBytes(zeroWidth), EInvalidGraphic);
  std::string hugeHeight = ok;
  Put32(hugeHeight, 22, 0x80000000u);  // the most negative height
  EXPECT_THROW(kReader.CarregarBytes(hugeHeight), EInvalidGraphic);
  std::string farData = ok;
  Put32(farData, 10, 0xFFFFFFF0u);
  EXPECT_THROW(kReader.CarregarBytes(farData), EInvalidGraphic);
  try {
    kReader.CarregarBytes("GIF89a");
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "Imagem Bitmap inv\xE1lida: o arquivo n\xE3o \xE9 um BMP");
  }
}

TEST(BmpLoader, PicturesMadeInMemoryAreChecked) {
  EXPECT_THROW(TBitmap::ComPaleta(2, 2, 1, {{0, 0, 0}, {255, 255, 255}}, {0, 1, 1}), EInvalidGraphic);
  EXPECT_THROW(TBitmap::ComPaleta(1, 1, 1, {{0, 0, 0}}, {1}), EInvalidGraphic);
  EXPECT_THROW(TBitmap::ComCores(2, 1, 24, {1, 2, 3}), EInvalidGraphic);
  // An empty picture becomes an empty raster of its size.
  const TRasterImagem r = ImagemParaRaster(TBitmap::ComCores(5, 0, 24, {}));
  EXPECT_TRUE(r.Raster.empty());
  EXPECT_EQ(r.Largura, 5);
  EXPECT_EQ(r.Altura, 0);
}

}  // namespace
}  // namespace bilhetor
