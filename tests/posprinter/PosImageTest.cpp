// The monochrome reader on hand-made files (the header fields that matter),
// text pictures, rasters as text, column bands, Base64 and the forms of the
// "<bmp>" content.
#include "posprinter/PosImage.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>

namespace bilhetor {
namespace {

std::string Hex(const std::string& s) {
  static const char* d = "0123456789ABCDEF";
  std::string h;
  for (unsigned char c : s) h += {d[c >> 4], d[c & 15], ' '};
  return h;
}

void Put32(std::string& s, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 1-bit BMP with a 62-byte header (palette black, white) and the given rows
// in file order (bottom row first), each padded with 00 to stride bytes.
std::string MonoBmp(int32_t width, int32_t height, const std::vector<std::string>& fileRows, std::size_t stride,
                    std::optional<int32_t> imageSizeField = std::nullopt) {
  std::string pixels;
  for (const auto& row : fileRows) {
    std::string r = row;
    r.resize(stride, '\0');
    pixels += r;
  }
  std::string s(62, '\0');
  s[0] = 'B';
  s[1] = 'M';
  Put32(s, 2, static_cast<uint32_t>(62 + pixels.size()));
  Put32(s, 10, 62);
  Put32(s, 14, 40);
  Put32(s, 18, static_cast<uint32_t>(width));
  Put32(s, 22, static_cast<uint32_t>(height));
  s[26] = 1;
  s[28] = 1;
  Put32(s, 34, static_cast<uint32_t>(imageSizeField.value_or(static_cast<int32_t>(pixels.size()))));
  Put32(s, 58, 0x00FFFFFF);
  return s + pixels;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EPosImage& e) {
    return e.Message();
  }
  return "(no error)";
}

// --- monochrome BMP -------------------------------------------------------

TEST(PosImageMono, TwelveDotsTwoRowsComeTopRowFirst) {
  // File rows: bottom row first. Top row: dots 0 and 9 black (0 bits), the
  // rest white; bottom row: all white except dot 11.
  const std::string bottom("\xFF\xE0", 2);  // dot 11 black (bit 0 at 0x10)
  const std::string top("\x7F\xB0", 2);     // dots 0 and 9 black
  const std::string bmp = MonoBmp(12, 2, {bottom, top}, 4);

  const TRasterImagem raw = LerBMPMono(bmp, false);
  EXPECT_EQ(raw.Largura, 16);
  EXPECT_EQ(raw.Altura, 2);
  EXPECT_EQ(Hex(raw.Raster), "7F B0 FF E0 ");
}

// Pins a recorded choice (docs/platform.md, Images): with Inverter only the
// padding dots of a row's last byte are cleared. Sending that whole byte as
// 00 would lose up to 7 real dots of every row; here the 12-dot picture
// above would lose dot 9 and dot 11 ("80 00 00 00").
TEST(PosImageMono, ChoiceInverterClearsOnlyThePaddingDots) {
  const std::string bmp = MonoBmp(12, 2, {std::string("\xFF\xE0", 2), std::string("\x7F\xB0", 2)}, 4);
  EXPECT_EQ(Hex(LerBMPMono(bmp, true).Raster), "80 40 00 10 ");
  // All white rows: nothing prints, whatever the width.
  for (int w : {1, 7, 9, 12, 15, 16, 17}) {
    SCOPED_TRACE(w);
    const std::size_t a = static_cast<std::size_t>((w + 7) / 8);
    const std::string white(a, '\xFF');
    const TRasterImagem r = LerBMPMono(MonoBmp(w, 3, {white, white, white}, (a + 3) / 4 * 4), true);
    EXPECT_EQ(r.Raster, std::string(3 * a, '\0'));
    // All black rows: every real dot prints, and only those.
    const std::string black(a, '\0');
    const TRasterImagem b = LerBMPMono(MonoBmp(w, 1, {black}, (a + 3) / 4 * 4), true);
    int dots = 0;
    for (unsigned char c : b.Raster)
      for (int i = 0; i < 8; ++i) dots += (c >> i) & 1;
    EXPECT_EQ(dots, w);
  }
}

TEST(PosImageMono, ImageSizeZeroReadsToTheEndOfTheStream) {
  const std::string bmp = MonoBmp(8, 3, {"\x0F", "\xF0", std::string(1, '\0')}, 4, 0);
  const TRasterImagem r = LerBMPMono(bmp, false);
  EXPECT_EQ(r.Altura, 3);
  EXPECT_EQ(Hex(r.Raster), "00 F0 0F ");
}

TEST(PosImageMono, RowStrideComesFromTheImageSize) {
  // Rows of 3 bytes with no 4-byte alignment, as some tools write them.
  const std::string bmp = MonoBmp(20, 2, {"\x01\x02\x03", "\x04\x05\x06"}, 3);
  EXPECT_EQ(Hex(LerBMPMono(bmp, false).Raster), "04 05 06 01 02 03 ");
}

TEST(PosImageMono, NotAMonochromeBmp) {
  const std::string bmp = MonoBmp(8, 1, {"\x00"}, 4);
  std::string colour = bmp;
  colour[28] = 24;
  std::string planes = bmp;
  planes[26] = 2;
  std::string notBmp = bmp;
  notBmp[0] = 'P';
  for (const std::string& s : {colour, planes, notBmp, std::string("BM"), std::string(), bmp.substr(0, 29)}) {
    EXPECT_FALSE(EhBMPMono(s, true));
    EXPECT_EQ(ErrorOf([&] { LerBMPMono(s, true); }), "Imagem n\xE3o \xE9 BMP Monocrom\xE1tica");
  }
  EXPECT_TRUE(EhBMPMono(colour, false));
  EXPECT_TRUE(EhBMPMono(bmp, true));
}

TEST(PosImageMono, ZeroOrNegativeHeightIsRefusedWithTheHeight) {
  EXPECT_EQ(ErrorOf([] { LerBMPMono(MonoBmp(8, 0, {}, 4, 4), true); }), "Altura do Bitmap [0] inv\xE1lida");
  EXPECT_EQ(ErrorOf([] { LerBMPMono(MonoBmp(8, -2, {"\x00", "\x00"}, 4), true); }),
            "Altura do Bitmap [-2] inv\xE1lida");
}

// Headers that do not fit the data: each is refused with a clear message and
// nothing outside the bytes is read (the sanitizer run would report it).
TEST(PosImageMono, HeaderFieldsThatDoNotFitTheDataAreRefused) {
  const std::vector<std::string> rows = {"\x00\x00", "\x00\x00"};
  // Image size beyond the end of the file.
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(MonoBmp(12, 2, rows, 4, 9), true); }),
            "Tamanho da imagem do Bitmap [9] maior que os dados do arquivo [8 bytes]");
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(MonoBmp(12, 2, rows, 4, 0x7FFFFFFF), true); }),
            "Tamanho da imagem do Bitmap [2147483647] maior que os dados do arquivo [8 bytes]");
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(MonoBmp(12, 2, rows, 4, -5), true); }),
            "Tamanho da imagem do Bitmap [-5] maior que os dados do arquivo [8 bytes]");
  // The file cut short: the header still claims 8 bytes of pixels.
  const std::string whole = MonoBmp(12, 2, rows, 4);
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(whole.substr(0, whole.size() - 1), true); }),
            "Tamanho da imagem do Bitmap [8] maior que os dados do arquivo [7 bytes]");
  // A width wider than the stride.
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(MonoBmp(40, 2, rows, 4), true); }),
            "Tamanho da imagem do Bitmap [8] n\xE3o comporta 2 linhas de 40 pontos");
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(MonoBmp(0x7FFFFFFF, 2, rows, 4), true); }),
            "Tamanho da imagem do Bitmap [8] n\xE3o comporta 2 linhas de 2147483647 pontos");
  // An image size whose stride times the height passes the data: 7 bytes for
  // 2 rows give a stride of 4, and the top row would start before the data.
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(MonoBmp(12, 2, rows, 4, 7), true); }),
            "Tamanho da imagem do Bitmap [7] n\xE3o comporta 2 linhas de 12 pontos");
  // More rows than bytes.
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(MonoBmp(8, 100, rows, 4), true); }),
            "Tamanho da imagem do Bitmap [8] n\xE3o comporta 100 linhas de 8 pontos");
  // Width zero or negative.
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(MonoBmp(0, 2, rows, 4), true); }), "Largura do Bitmap [0] inv\xE1lida");
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(MonoBmp(-8, 2, rows, 4), true); }), "Largura do Bitmap [-8] inv\xE1lida");
  // Pixel data said to start past the end of the file, or before its start.
  std::string farOffset = whole;
  Put32(farOffset, 10, 1000);
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(farOffset, true); }),
            "In\xED" "cio dos dados do Bitmap [1000] fora do arquivo de 70 bytes");
  std::string negativeOffset = whole;
  Put32(negativeOffset, 10, 0xFFFFFFF0);
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(negativeOffset, true); }),
            "In\xED" "cio dos dados do Bitmap [-16] fora do arquivo de 70 bytes");
  // A header too short to hold the image size.
  EXPECT_EQ(ErrorOf([&] { LerBMPMono(whole.substr(0, 36), true); }), "Cabe\xE7" "alho do Bitmap incompleto [36 bytes]");
}

TEST(PosImageMono, ExtraBytesAfterTheRowsDoNotShiftThem) {
  // 16 rows of 8 bytes and one stray byte at the end: the rows are read from
  // the start of the data, as the file lays them out.
  std::vector<std::string> rows;
  for (int y = 0; y < 16; ++y) rows.push_back(std::string(1, static_cast<char>(y)));
  std::string bmp = MonoBmp(8, 16, rows, 8);
  bmp.push_back('\x55');
  Put32(bmp, 34, 129);
  const TRasterImagem r = LerBMPMono(bmp, false);
  ASSERT_EQ(r.Raster.size(), 16u);
  for (int y = 0; y < 16; ++y) EXPECT_EQ(r.Raster[static_cast<std::size_t>(y)], static_cast<char>(15 - y));
}

TEST(PosImageMono, PaletteOrderOfLoadedPicturesDecidesWhatPrints) {
  // A 1-bit picture whose palette is white first: its black pixels (index 1)
  // still print, and the white ones do not.
  std::vector<uint8_t> indices = {1, 0, 0, 1, 1, 0, 1, 0, 0, 1};  // 5 x 2
  const TBitmap whiteFirst =
      TBitmap::ComPaleta(5, 2, 1, {TCorRGB{255, 255, 255}, TCorRGB{0, 0, 0}}, indices);
  const TRasterImagem r = ImagemParaRaster(whiteFirst);
  EXPECT_EQ(r.Largura, 8);
  EXPECT_EQ(Hex(r.Raster), "98 48 ");
  // The same picture with the palette the other way round.
  for (auto& i : indices) i = static_cast<uint8_t>(1 - i);
  const TBitmap blackFirst = TBitmap::ComPaleta(5, 2, 1, {TCorRGB{0, 0, 0}, TCorRGB{255, 255, 255}}, indices);
  EXPECT_EQ(ImagemParaRaster(blackFirst), r);
}

void SetPalette(std::string& bmp, uint32_t colour0, uint32_t colour1) {
  Put32(bmp, 54, colour0);
  Put32(bmp, 58, colour1);
}

// The Base64 route reads the palette as the file route does: the darker
// colour prints, whichever slot holds it (and, a recorded choice, only the
// padding dots of the last byte are cleared). One picture, 12 dots wide: the top
// row has dots 0 and 9, the bottom row dot 11. Written with colour 0 printed
// its file rows are the complement of those written with colour 1 printed;
// the four padding dots of each row are set in the file and never print.
TEST(PosImageMono, ThePaletteDecidesWhichBitsPrintInTheBase64Route) {
  const std::string zeroPrints = MonoBmp(12, 2, {std::string("\xFF\xEF", 2), std::string("\x7F\xBF", 2)}, 4);
  const std::string onePrints = MonoBmp(12, 2, {std::string("\x00\x1F", 2), std::string("\x80\x4F", 2)}, 4);
  const std::string picture = "80 40 00 10 ";
  const struct {
    const char* name;
    const std::string& bmp;
    uint32_t colour0, colour1;
  } cases[] = {
      {"black, white", zeroPrints, 0x000000, 0xFFFFFF},
      {"white, black", onePrints, 0xFFFFFF, 0x000000},
      {"grey 150, grey 100", onePrints, 0x969696, 0x646464},
      {"dark red, light blue", zeroPrints, 0x600000, 0xA0C0FF},
      // Equally dark: colour 0 prints, as for a loaded picture.
      {"grey, grey", zeroPrints, 0x808080, 0x808080},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bmp = c.bmp;
    SetPalette(bmp, c.colour0, c.colour1);
    const TRasterImagem r = LerBMPMonoPelaPaleta(bmp);
    EXPECT_EQ(r.Largura, 16);
    EXPECT_EQ(r.Altura, 2);
    EXPECT_EQ(Hex(r.Raster), picture);
  }
}

TEST(PosImageMono, AnUnreadablePaletteLeavesTheZeroBitsPrinting) {
  std::string oneColour = MonoBmp(8, 1, {"\x0F"}, 4);
  SetPalette(oneColour, 0xFFFFFF, 0x000000);
  Put32(oneColour, 46, 1);  // one colour used: colour 0, white, prints
  std::string otherHeader = MonoBmp(8, 1, {"\x0F"}, 4);
  SetPalette(otherHeader, 0xFFFFFF, 0x000000);
  Put32(otherHeader, 14, 64);  // no Windows header of that size
  std::string cutPalette = MonoBmp(8, 1, {"\x0F"}, 4);
  SetPalette(cutPalette, 0xFFFFFF, 0x000000);
  Put32(cutPalette, 14, 124);  // its palette would start at 138, past the end
  for (const std::string& bmp : {oneColour, otherHeader, cutPalette}) {
    EXPECT_EQ(LerBMPMonoPelaPaleta(bmp), LerBMPMono(bmp, true));
    EXPECT_EQ(Hex(LerBMPMonoPelaPaleta(bmp).Raster), "F0 ");
  }
  // What LerBMPMono refuses, this refuses the same way.
  EXPECT_EQ(ErrorOf([] { LerBMPMonoPelaPaleta("BM"); }), "Imagem n\xE3o \xE9 BMP Monocrom\xE1tica");
  std::string tooTall = MonoBmp(8, 100, {"\x00"}, 4);
  SetPalette(tooTall, 0xFFFFFF, 0x000000);
  EXPECT_EQ(ErrorOf([&] { LerBMPMonoPelaPaleta(tooTall); }),
            "Tamanho da imagem do Bitmap [4] n\xE3o comporta 100 linhas de 8 pontos");
}

TEST(PosImageMono, GreysThresholdExactly) {
  // Luminance 127 prints, 128 does not: (127,127,127), (128,128,128), and a
  // mix summing to exactly 128.
  const TBitmap bmp = TBitmap::ComCores(4, 1, 24, {127, 127, 127, 128, 128, 128, 0, 0, 255, 100, 160, 100});
  // (0,0,255) -> 28 prints; (100,160,100) -> 30+94.4+11 = 135 does not.
  EXPECT_EQ(Hex(ImagemParaRaster(bmp).Raster), "A0 ");
}

// --- text pictures ------------------------------------------------------

TEST(PosImageText, ShortPictureIsPaddedOnTheRight) {
  const TRasterImagem r = TextoBinarioParaRaster({"101", "1"});
  EXPECT_EQ(r.Largura, 3);
  EXPECT_EQ(r.Altura, 2);
  EXPECT_EQ(Hex(r.Raster), "A0 80 ");
  EXPECT_EQ(Hex(TextoBinarioParaRaster({"11110000"}).Raster), "F0 ");
}

TEST(PosImageText, LinesAreCutOrPaddedToTheFirstLinesWidth) {
  // First line 10 wide: two bytes per row; the longer line is cut at 16.
  const TRasterImagem r = TextoBinarioParaRaster({"1000000001", "11111111111111111111", ""});
  EXPECT_EQ(r.Largura, 10);
  EXPECT_EQ(r.Altura, 3);
  EXPECT_EQ(Hex(r.Raster), "80 40 FF FF 00 00 ");
  // Any character other than "1" is a blank dot.
  EXPECT_EQ(Hex(TextoBinarioParaRaster({"1x1 1.11"}).Raster), "AB ");
}

// Pins a recorded choice (docs/platform.md, Images): a later line shorter
// than the first is padded on the right, also when the first line's width is
// a multiple of 8. Reading such a line unpadded takes its short last chunk
// right-aligned and moves its dots to the right end of the byte ("11" under
// "00000000" would give 03).
TEST(PosImageText, ChoiceShortLaterLinesArePaddedOnTheRight) {
  EXPECT_EQ(Hex(TextoBinarioParaRaster({"00000000", "11"}).Raster), "00 C0 ");
  EXPECT_EQ(Hex(TextoBinarioParaRaster({"1111111111111111", "1111111111"}).Raster), "FF FF FF C0 ");
  EXPECT_EQ(Hex(TextoBinarioParaRaster({"11111111", "1", ""}).Raster), "FF 80 00 ");
  // The column route pads the same way, so both routes agree.
  EXPECT_EQ(RasterParaColunas(TextoBinarioParaRaster({"00000000", "11"}).Raster, 8, 0),
            TextoBinarioParaColunas({"00000000", "11"}, 0));
}

TEST(PosImageText, NoLinesOrAnEmptyFirstLine) {
  EXPECT_EQ(TextoBinarioParaRaster({}), TRasterImagem{});
  const TRasterImagem r = TextoBinarioParaRaster({"", "1111"});
  EXPECT_EQ(r.Largura, 0);
  EXPECT_EQ(r.Altura, 2);
  EXPECT_TRUE(r.Raster.empty());
}

TEST(PosImageText, PicturesNoPrinterCommandCanCarryAreRefused) {
  const std::vector<std::string> wide = {std::string(65536, '1')};
  EXPECT_EQ(ErrorOf([&] { TextoBinarioParaRaster(wide); }), "Imagem em texto grande demais [65536 x 1 pontos]");
  EXPECT_EQ(ErrorOf([&] { TextoBinarioParaColunas(wide, 3); }), "Imagem em texto grande demais [65536 x 1 pontos]");
  const std::vector<std::string> tall(65536, "1");
  EXPECT_EQ(ErrorOf([&] { TextoBinarioParaRaster(tall); }), "Imagem em texto grande demais [1 x 65536 pontos]");
  // The largest size still goes through.
  const TRasterImagem r = TextoBinarioParaRaster({std::string(65535, '1'), "1"});
  EXPECT_EQ(r.Largura, 65535);
  EXPECT_EQ(r.Raster.size(), 2u * 8192);
  EXPECT_EQ(static_cast<unsigned char>(r.Raster[8191]), 0xFE);
}

TEST(PosImageText, BitTextRules) {
  EXPECT_EQ(ByteParaTextoBinario(0x05), "00000101");
  EXPECT_EQ(ByteParaTextoBinario(0x80), "10000000");
  EXPECT_EQ(TextoBinarioParaByte("00000101"), 0x05);
  EXPECT_EQ(TextoBinarioParaByte("101"), 0x05);  // short text is right-aligned
  EXPECT_EQ(TextoBinarioParaByte("1a1"), 0x05);
  EXPECT_EQ(TextoBinarioParaByte(""), 0x00);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(TextoBinarioParaByte(ByteParaTextoBinario(static_cast<unsigned char>(b))), b);
}

TEST(PosImageText, RasterAsText) {
  EXPECT_EQ(RasterStrToAscII(std::string("\x01\xFF", 2), 10, false),
            std::vector<std::string>{"0000000111111111"});
  EXPECT_EQ(RasterStrToAscII(std::string("\x01\xFF", 2), 10, true), std::vector<std::string>{"1111111000000000"});
  // A trailing incomplete row is dropped.
  EXPECT_EQ(RasterStrToAscII(std::string("\x80\x00\x01", 3), 16, false),
            std::vector<std::string>{"1000000000000000"});
  EXPECT_EQ(RasterStrToAscII(std::string("\x80\x01", 2), 8, false),
            (std::vector<std::string>{"10000000", "00000001"}));
  EXPECT_TRUE(RasterStrToAscII("", 8, false).empty());
  EXPECT_EQ(ErrorOf([] { RasterStrToAscII("\x01", 0, false); }), "RasterStrToAscII: AWidth \xE9 obrigat\xF3rio");
  EXPECT_EQ(ErrorOf([] { RasterStrToAscII("\x01", -3, false); }), "RasterStrToAscII: AWidth \xE9 obrigat\xF3rio");
}

// --- column bands -------------------------------------------------------

TEST(PosImageColumns, ShortPictureMakesEightRowBands) {
  // Two rows with three bytes per column asked: one band of one byte per column.
  const auto bands = TextoBinarioParaColunas({"10000001", "01"}, 3);
  ASSERT_EQ(bands.size(), 1u);
  EXPECT_EQ(Hex(bands[0]), "80 40 00 00 00 00 00 80 ");
}

TEST(PosImageColumns, BandsOfTwentyFourRows) {
  // 30 rows, one column ("1" on rows 0, 9, 23, 24 and 29), width rounded to 8.
  std::vector<std::string> lines(30, "0");
  for (int y : {0, 9, 23, 24, 29}) lines[static_cast<std::size_t>(y)] = "1";
  const auto bands = TextoBinarioParaColunas(lines, 3);
  ASSERT_EQ(bands.size(), 2u);
  ASSERT_EQ(bands[0].size(), 8u * 3);
  EXPECT_EQ(Hex(bands[0].substr(0, 3)), "80 40 01 ");
  EXPECT_EQ(Hex(bands[1].substr(0, 3)), "84 00 00 ");  // rows 24 and 29, then rows past the end
  EXPECT_EQ(bands[0].substr(3), std::string(21, '\0'));
  EXPECT_EQ(bands[1].substr(3), std::string(21, '\0'));
}

TEST(PosImageColumns, ZeroBytesPerColumnMakesOneBand) {
  std::vector<std::string> lines(20, "1");
  const auto bands = TextoBinarioParaColunas(lines, 0);
  ASSERT_EQ(bands.size(), 1u);
  ASSERT_EQ(bands[0].size(), 8u * 3);
  EXPECT_EQ(Hex(bands[0].substr(0, 3)), "FF FF F0 ");
  // More bytes per column than lines: the same single band.
  EXPECT_EQ(TextoBinarioParaColunas(lines, 21), bands);
  // As many as lines: kept (a band of 160 rows).
  EXPECT_EQ(TextoBinarioParaColunas(lines, 20).at(0).size(), 8u * 20);
}

TEST(PosImageColumns, NothingOrBadArguments) {
  EXPECT_TRUE(TextoBinarioParaColunas({}, 3).empty());
  EXPECT_TRUE(RasterParaColunas("", 8, 3).empty());
  EXPECT_TRUE(RasterParaColunas("\x01", 9, 3).empty());  // not one whole row
  EXPECT_EQ(ErrorOf([] { TextoBinarioParaColunas({"1"}, -1); }), "BytesPorColuna [-1] inv\xE1lido");
  EXPECT_EQ(ErrorOf([] { RasterParaColunas("\x01", 8, -2); }), "BytesPorColuna [-2] inv\xE1lido");
  EXPECT_EQ(ErrorOf([] { RasterParaColunas("\x01", 0, 3); }), "RasterStrToAscII: AWidth \xE9 obrigat\xF3rio");
}

TEST(PosImageColumns, RasterRouteEqualsTheTextRoute) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    const int width = 1 + static_cast<int>(rng() % 70);
    const std::size_t perRow = static_cast<std::size_t>((width + 7) / 8);
    const std::size_t rows = rng() % 60;
    std::string raster(perRow * rows + rng() % perRow, '\0');  // sometimes a partial row
    for (auto& c : raster) c = static_cast<char>(rng() % 4 == 0 ? 0 : rng());
    const int bytesPerColumn = static_cast<int>(rng() % 8);
    SCOPED_TRACE(::testing::Message() << width << " wide, " << rows << " rows, " << bytesPerColumn);
    EXPECT_EQ(RasterParaColunas(raster, width, bytesPerColumn),
              TextoBinarioParaColunas(RasterStrToAscII(raster, width, false), bytesPerColumn));
  }
}

// --- Base64 and the "<bmp>" content --------------------------------------

TEST(PosImageBase64, KnownTextsAndRoundTrips) {
  EXPECT_EQ(DecodificarBase64("Zg=="), "f");
  EXPECT_EQ(DecodificarBase64("Zm8="), "fo");
  EXPECT_EQ(DecodificarBase64("Zm9v"), "foo");
  EXPECT_EQ(DecodificarBase64("Zm9vYmFy"), "foobar");
  EXPECT_EQ(DecodificarBase64("AP8A/w=="), std::string("\x00\xFF\x00\xFF", 4));
  EXPECT_EQ(CodificarBase64("foob"), "Zm9vYg==");
  std::mt19937 rng(7);
  for (int n = 1; n < 40; ++n) {
    std::string bytes(static_cast<std::size_t>(n), '\0');
    for (auto& c : bytes) c = static_cast<char>(rng());
    const std::string text = CodificarBase64(bytes);
    EXPECT_EQ(text.size(), static_cast<std::size_t>((n + 2) / 3 * 4));
    EXPECT_TRUE(EhTextoBase64(text));
    EXPECT_EQ(DecodificarBase64(text), bytes) << n;
  }
}

TEST(PosImageBase64, WhatIsNotBase64) {
  for (const char* t : {"", "Zg=", "Z===", "====", "Zg=a", "Z=g=", "Zm9v\n", "Zm 9", "Zm9v-_==", "\xC3\xA7" "ab"}) {
    EXPECT_FALSE(EhTextoBase64(t)) << t;
    if (*t) {
      EXPECT_EQ(ErrorOf([&] { DecodificarBase64(t); }), "Texto Base64 inv\xE1lido") << t;
    }
  }
  EXPECT_TRUE(EhTextoBase64("ab+/"));
  EXPECT_TRUE(EhTextoBase64("abc="));
}

TEST(PosImageForms, TheThreeFormsAndEmpty) {
  EXPECT_EQ(FormaConteudoBMP(""), TFormaConteudoBMP::fcVazio);
  EXPECT_EQ(FormaConteudoBMP(" \r\n\t "), TFormaConteudoBMP::fcVazio);
  EXPECT_EQ(FormaConteudoBMP("0101010101\r\n1111111111"), TFormaConteudoBMP::fcTextoBinario);
  EXPECT_EQ(FormaConteudoBMP("  \n1010"), TFormaConteudoBMP::fcTextoBinario);  // fewer than 10, all bits
  EXPECT_EQ(FormaConteudoBMP("0101010101xyz"), TFormaConteudoBMP::fcTextoBinario);
  // A first line shorter than ten: its line break is among the first ten.
  EXPECT_EQ(FormaConteudoBMP("01010\n01010"), TFormaConteudoBMP::fcArquivo);
  // Four letters (a short name without extension) are Base64.
  EXPECT_EQ(FormaConteudoBMP("logo"), TFormaConteudoBMP::fcBase64);
  EXPECT_EQ(FormaConteudoBMP(" Qk0+AAAA "), TFormaConteudoBMP::fcBase64);
  EXPECT_EQ(FormaConteudoBMP("logo.bmp"), TFormaConteudoBMP::fcArquivo);
  EXPECT_EQ(FormaConteudoBMP("/var/lib/bilhetor/logo"), TFormaConteudoBMP::fcArquivo);
  EXPECT_EQ(FormaConteudoBMP("0101"), TFormaConteudoBMP::fcTextoBinario);  // bits win over Base64
}

TEST(PosImageForms, LinesSplitAtEveryKindOfBreak) {
  EXPECT_EQ(DividirLinhas("101\r\n1\n11\r0"), (std::vector<std::string>{"101", "1", "11", "0"}));
  EXPECT_EQ(DividirLinhas("1\n\n1\n"), (std::vector<std::string>{"1", "", "1"}));
  EXPECT_TRUE(DividirLinhas("").empty());
  const TRasterImagem r = TextoBinarioParaRaster(DividirLinhas("101\r\n1"));
  EXPECT_EQ(Hex(r.Raster), "A0 80 ");
}

}  // namespace
}  // namespace bilhetor
