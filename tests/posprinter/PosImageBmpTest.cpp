// Real BMP files made by ImageMagick, read by the bitmap loader and the
// monochrome reader, checked against the pictures' known dots.
#include <gtest/gtest.h>

#include <sstream>
#include <utility>

#include "common/Strings.h"
#include "posprinter/BmpReader.h"
#include "posprinter/PosImage.h"
#include "support/BmpPictures.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing::BmpField16;
using testing::BmpField32;
using testing::BmpKind;
using testing::ExpectedBands;
using testing::ExpectedRaster;
using testing::FlipToTopDown;
using testing::MakeBmp;
using testing::PatternPicture;
using testing::ReadFile;
using testing::Rgb;
using testing::SetBmpField32;
using testing::TempDir;
using testing::TestPicture;

// Widths that are not a multiple of 8: ExpectedRaster keeps every real dot
// of a row's last byte, so these tests also pin the recorded choice that
// Inverter clears only the padding dots (docs/platform.md, Images).
const int kWidths[] = {1, 7, 9, 12, 575};
const int kHeights[] = {1, 5, 30};

std::string Hex(const std::string& s) {
  static const char* d = "0123456789ABCDEF";
  std::string h;
  for (unsigned char c : s) h += {d[c >> 4], d[c & 15], ' '};
  return h;
}

int RoundUp8(int w) { return (w + 7) / 8 * 8; }

// A 1-bit BMP with its two palette colours swapped and every byte of its
// pixel data complemented: the same picture, stored the other way round.
std::string SwapMonoPalette(std::string bmp) {
  const std::size_t palette = 14 + BmpField32(bmp, 14);
  for (std::size_t i = 0; i < 4; ++i) std::swap(bmp[palette + i], bmp[palette + 4 + i]);
  for (std::size_t i = BmpField32(bmp, 10); i < bmp.size(); ++i) bmp[i] = static_cast<char>(~bmp[i]);
  return bmp;
}

class PosImageBmpFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::ConvertAvailable())
      GTEST_SKIP() << "ImageMagick convert is not available (not installed; the Windows tests never run it)";
  }
  TempDir dir_;
};

TEST_F(PosImageBmpFiles, MonochromeFilesOfAwkwardWidthsGiveTheirDotsBothWays) {
  for (int w : kWidths)
    for (int h : kHeights) {
      SCOPED_TRACE(::testing::Message() << w << "x" << h);
      const TestPicture pic = PatternPicture(w, h, static_cast<uint32_t>(w * 131 + h));
      const std::string path = MakeBmp(dir_.Path().string(), "m", pic, BmpKind::Mono1);
      ASSERT_FALSE(path.empty());
      const std::string bytes = ReadFile(path);
      ASSERT_EQ(BmpField16(bytes, 28), 1u);
      ASSERT_TRUE(EhBMPMono(bytes, true));

      const std::string expected = ExpectedRaster(pic, RoundUp8(w));
      // Through the monochrome reader: ImageMagick's palette is black first,
      // so with Inverter the black dots print.
      const TRasterImagem mono = LerBMPMono(bytes, true);
      EXPECT_EQ(mono.Largura, RoundUp8(w));
      EXPECT_EQ(mono.Altura, h);
      EXPECT_EQ(Hex(mono.Raster), Hex(expected));

      // Without Inverter the file's bits come through: 1 where the picture is white.
      const TRasterImagem raw = LerBMPMono(bytes, false);
      ASSERT_EQ(raw.Raster.size(), expected.size());
      const std::size_t perRow = static_cast<std::size_t>(RoundUp8(w) / 8);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const bool bit = (static_cast<unsigned char>(raw.Raster[y * perRow + x / 8]) >> (7 - x % 8)) & 1;
          ASSERT_EQ(bit, !pic.Printed(x, y)) << "dot " << x << "," << y;
        }

      // Through the bitmap loader, bottom-up and top-down alike.
      const TRasterImagem loaded = ImagemArquivoParaRaster(path);
      EXPECT_EQ(loaded, mono);
      const TRasterImagem flipped = ImagemParaRaster(BitmapLoaderPadrao().CarregarBytes(FlipToTopDown(bytes)));
      EXPECT_EQ(flipped, mono);

      // The Base64 route reads the palette as the loader does: the file with
      // its two colours swapped and every bit (row padding too) complemented
      // is the same picture on both routes. (A picture of one colour gets a
      // palette of two equal colours from ImageMagick; then colour 0 prints,
      // and swapping changes nothing but the bits.)
      EXPECT_EQ(LerBMPMonoPelaPaleta(bytes), mono);
      const std::size_t palette = 14 + BmpField32(bytes, 14);
      if (BmpField32(bytes, palette) != BmpField32(bytes, palette + 4)) {
        const std::string swapped = SwapMonoPalette(bytes);
        EXPECT_EQ(LerBMPMonoPelaPaleta(swapped), mono);
        EXPECT_EQ(ImagemParaRaster(BitmapLoaderPadrao().CarregarBytes(swapped)), mono);
      }
    }
}

TEST_F(PosImageBmpFiles, Os2MonochromeFileLoadsButIsNoWindowsMonochromeBmp) {
  const TestPicture pic = PatternPicture(9, 5, 7);
  const std::string path = MakeBmp(dir_.Path().string(), "os2", pic, BmpKind::Mono1Os2);
  ASSERT_FALSE(path.empty());
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(BmpField32(bytes, 14), 12u);
  const TBitmap bmp = BitmapLoaderPadrao().CarregarBytes(bytes);
  EXPECT_TRUE(bmp.Monocromatico());
  const TRasterImagem r = ImagemParaRaster(bmp);
  EXPECT_EQ(r.Largura, 16);
  EXPECT_EQ(Hex(r.Raster), Hex(ExpectedRaster(pic, 16)));
  // The core header keeps planes and bit count elsewhere, so the monochrome
  // test at offsets 26 and 28 does not see one.
  EXPECT_FALSE(EhBMPMono(bytes, true));
  EXPECT_TRUE(EhBMPMono(bytes, false));
}

TEST_F(PosImageBmpFiles, TopDownMonochromeStreamIsRefusedWithItsHeight) {
  const TestPicture pic = PatternPicture(12, 3, 3);
  const std::string path = MakeBmp(dir_.Path().string(), "td", pic, BmpKind::Mono1);
  ASSERT_FALSE(path.empty());
  const std::string topDown = FlipToTopDown(ReadFile(path));
  try {
    LerBMPMono(topDown, true);
    FAIL() << "a top-down stream was read";
  } catch (const EPosImage& e) {
    EXPECT_EQ(e.Message(), "Altura do Bitmap [-3] inv\xE1lida");
  }
}

// Colours around the threshold: luminance 127 prints, 128 does not.
const std::vector<Rgb> kColours = {
    {0, 0, 0},       {255, 255, 255}, {255, 0, 0} /* 76 */,  {0, 255, 0} /* 150 */, {0, 0, 255} /* 28 */,
    {127, 127, 127}, {128, 128, 128}, {255, 255, 0} /* 226 */, {200, 50, 90},      {60, 160, 250},
    {10, 200, 10},   {250, 120, 0},   {120, 130, 120},         {90, 90, 255},       {255, 0, 255},
    {0, 128, 128},   {33, 33, 33},    {222, 222, 222},         {140, 140, 100},     {100, 150, 200},
};

TEST_F(PosImageBmpFiles, ColourFilesAreThresholdedAtTheirOwnWidth) {
  struct Case {
    BmpKind kind;
    unsigned bpp;
    std::size_t colours;
  };
  const Case cases[] = {{BmpKind::Palette4, 4, 12}, {BmpKind::Palette8, 8, kColours.size()},
                        {BmpKind::Palette8Rle, 8, kColours.size()},
                        {BmpKind::Rgb24, 24, kColours.size()}, {BmpKind::Rgba32, 32, kColours.size()}};
  for (const Case& c : cases)
    for (int w : kWidths)
      for (int h : {5, 30}) {
        if (w * h < static_cast<int>(c.colours)) continue;
        SCOPED_TRACE(::testing::Message() << c.bpp << " bits " << w << "x" << h);
        const std::vector<Rgb> colours(kColours.begin(), kColours.begin() + static_cast<long>(c.colours));
        const TestPicture pic = testing::ColourPicture(w, h, colours, static_cast<uint32_t>(w + h));
        const std::string path = MakeBmp(dir_.Path().string(), "c", pic, c.kind);
        ASSERT_FALSE(path.empty());
        const std::string bytes = ReadFile(path);
        ASSERT_EQ(BmpField16(bytes, 28), c.bpp);
        ASSERT_EQ(BmpField32(bytes, 30), c.kind == BmpKind::Palette8Rle ? 1u : c.kind == BmpKind::Rgba32 ? 3u : 0u);
        EXPECT_FALSE(EhBMPMono(bytes, true));
        EXPECT_TRUE(EhBMPMono(bytes, false));

        const TBitmap bmp = BitmapLoaderPadrao().CarregarBytes(bytes);
        ASSERT_EQ(bmp.Largura(), w);
        ASSERT_EQ(bmp.Altura(), h);
        EXPECT_FALSE(bmp.Monocromatico());
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const TCorRGB px = bmp.Pixel(x, y);
            ASSERT_EQ(px, (TCorRGB{pic.At(x, y).r, pic.At(x, y).g, pic.At(x, y).b})) << "pixel " << x << "," << y;
          }

        const TRasterImagem r = ImagemParaRaster(bmp);
        EXPECT_EQ(r.Largura, w);
        EXPECT_EQ(r.Altura, h);
        EXPECT_EQ(Hex(r.Raster), Hex(ExpectedRaster(pic, w)));
        if (c.kind != BmpKind::Palette8Rle) {
          EXPECT_EQ(ImagemParaRaster(BitmapLoaderPadrao().CarregarBytes(FlipToTopDown(bytes))), r);
        }
      }
}

TEST_F(PosImageBmpFiles, PureRedPrintsAndPureGreenDoesNot) {
  TestPicture pic(2, 1);
  pic.At(0, 0) = Rgb{255, 0, 0};
  pic.At(1, 0) = Rgb{0, 255, 0};
  const std::string path = MakeBmp(dir_.Path().string(), "rg", pic, BmpKind::Rgb24);
  ASSERT_FALSE(path.empty());
  const TRasterImagem r = ImagemArquivoParaRaster(path);
  EXPECT_EQ(r.Largura, 2);
  EXPECT_EQ(r.Altura, 1);
  EXPECT_EQ(Hex(r.Raster), "80 ");
}

TEST_F(PosImageBmpFiles, ColumnBandsOfRealFilesMatchTheDots) {
  for (int w : kWidths)
    for (int h : {1, 23, 24, 25, 50}) {
      SCOPED_TRACE(::testing::Message() << w << "x" << h);
      const TestPicture pic = PatternPicture(w, h, static_cast<uint32_t>(w * 7 + h));
      const std::string path = MakeBmp(dir_.Path().string(), "b", pic, BmpKind::Rgb24);
      ASSERT_FALSE(path.empty());
      const TRasterImagem r = ImagemArquivoParaRaster(path);
      ASSERT_EQ(r.Largura, w);
      // 24-dot bands as the image commands use them; a picture under 3 rows
      // becomes 8-dot bands.
      const int bytesPerColumn = h < 3 ? 1 : 3;
      EXPECT_EQ(RasterParaColunas(r.Raster, r.Largura, 3), ExpectedBands(pic, RoundUp8(w), bytesPerColumn));
      // One band as tall as the picture, as the legacy logo store uses it.
      EXPECT_EQ(RasterParaColunas(r.Raster, r.Largura, 0), ExpectedBands(pic, RoundUp8(w), (h + 7) / 8));
    }
}

TEST_F(PosImageBmpFiles, Base64OfARealFileIsReadAsAnInvertedMonochromeStream) {
  const TestPicture pic = PatternPicture(12, 5, 99);
  const std::string path = MakeBmp(dir_.Path().string(), "b64", pic, BmpKind::Mono1);
  ASSERT_FALSE(path.empty());
  const std::string content = "  " + CodificarBase64(ReadFile(path)) + "\r\n";
  ASSERT_EQ(FormaConteudoBMP(content), TFormaConteudoBMP::fcBase64);
  const TRasterImagem r = LerBMPMono(DecodificarBase64(Trim(content)), true);
  EXPECT_EQ(r.Largura, 16);
  EXPECT_EQ(r.Altura, 5);
  EXPECT_EQ(Hex(r.Raster), Hex(ExpectedRaster(pic, 16)));
}

TEST_F(PosImageBmpFiles, StreamsAreReadFromTheirPosition) {
  const TestPicture pic = PatternPicture(9, 4, 5);
  const std::string path = MakeBmp(dir_.Path().string(), "s", pic, BmpKind::Mono1);
  ASSERT_FALSE(path.empty());
  const std::string bytes = ReadFile(path);
  std::istringstream in("xyz" + bytes, std::ios::binary);
  in.seekg(3);
  EXPECT_TRUE(EhBMPMono(in, true));
  EXPECT_EQ(in.tellg(), std::streampos(3));
  const TRasterImagem r = LerBMPMono(in, true);
  EXPECT_EQ(Hex(r.Raster), Hex(ExpectedRaster(pic, 16)));

  std::istringstream shortStream("BM", std::ios::binary);
  EXPECT_TRUE(EhBMPMono(shortStream, false));
  EXPECT_FALSE(EhBMPMono(shortStream, true));
  EXPECT_EQ(shortStream.tellg(), std::streampos(0));
}

TEST_F(PosImageBmpFiles, LoaderRefusesOtherFormatsAndDamagedFiles) {
  const TestPicture pic = PatternPicture(9, 4, 5);
  const std::string folder = dir_.Path().string();
  ASSERT_TRUE(testing::RunConvert({MakeBmp(folder, "src", pic, BmpKind::Rgb24), folder + "/p.png"}));
  EXPECT_THROW(ImagemArquivoParaRaster(folder + "/p.png"), EInvalidGraphic);
  EXPECT_THROW(ImagemArquivoParaRaster(folder + "/missing.bmp"), EInvalidGraphic);

  // 16 bits per pixel, and run-length compression on a 24-bit file: refused,
  // not misread.
  const std::string whole24 = ReadFile(folder + "/src.bmp");
  std::string sixteen = whole24;
  sixteen[28] = 16;
  EXPECT_THROW(BitmapLoaderPadrao().CarregarBytes(sixteen), EInvalidGraphic);
  std::string rle24 = whole24;
  SetBmpField32(rle24, 30, 1);
  EXPECT_THROW(BitmapLoaderPadrao().CarregarBytes(rle24), EInvalidGraphic);
  std::string jpeg = whole24;
  SetBmpField32(jpeg, 30, 4);
  EXPECT_THROW(BitmapLoaderPadrao().CarregarBytes(jpeg), EInvalidGraphic);

  // A file cut short anywhere is refused.
  const std::string whole = ReadFile(folder + "/src.bmp");
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{20}, std::size_t{53}, whole.size() - 5}) {
    SCOPED_TRACE(n);
    EXPECT_THROW(BitmapLoaderPadrao().CarregarBytes(whole.substr(0, n)), EInvalidGraphic);
  }
}

}  // namespace
}  // namespace bilhetor
