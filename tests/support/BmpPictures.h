#pragma once
// Test pictures with known dots, turned into real BMP files by ImageMagick's
// convert, and the rasters and column bands a printer should get from them,
// worked out dot by dot from the picture itself.
#include <cstdint>
#include <string>
#include <vector>

namespace bilhetor::testing {

struct Rgb {
  uint8_t r = 255, g = 255, b = 255;
};

// A picture of width x height pixels, row 0 at the top.
struct TestPicture {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;

  TestPicture(int w, int h);
  Rgb& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  const Rgb& At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  // A printed dot: luminance (30 R + 59 G + 11 B) / 100 of 127 or less.
  bool Printed(int x, int y) const;
};

// A black-and-white picture whose dots follow a fixed pseudo-random pattern
// (about a third black), with the four corners black so that edges show.
TestPicture PatternPicture(int width, int height, uint32_t seed);
// A picture whose pixels are taken from the given colours in a fixed
// pseudo-random order.
TestPicture ColourPicture(int width, int height, const std::vector<Rgb>& colours, uint32_t seed);

enum class BmpKind {
  Mono1,        // 1 bit per pixel, Windows 3 header (convert -type bilevel BMP3:)
  Mono1Os2,     // 1 bit per pixel, OS/2 core header (BMP2:)
  Palette4,     // 4 bits per pixel (at most 16 colours)
  Palette8,     // 8 bits per pixel (17 to 256 colours)
  Palette8Rle,  // 8 bits per pixel, run-length compressed
  Rgb24,        // 24 bits per pixel
  Rgba32,       // 32 bits per pixel with colour masks (BMP: with an alpha channel)
};

// Writes the picture as a PPM file and has convert turn it into a BMP file of
// the given kind; returns the BMP file's path. Fails the test (ADD_FAILURE and
// an empty string) when convert is missing or fails.
std::string MakeBmp(const std::string& folder, const std::string& name, const TestPicture& picture, BmpKind kind);

// Whether convert can be run: on Linux when ImageMagick is installed; the
// Windows tests do not run it (BmpPicturesWin32.cpp).
bool ConvertAvailable();
// Runs convert with the arguments; true when it exited with 0.
bool RunConvert(const std::vector<std::string>& args);

// Header fields of a BMP file's bytes.
uint32_t BmpField32(const std::string& bmp, std::size_t offset);
uint32_t BmpField16(const std::string& bmp, std::size_t offset);
void SetBmpField32(std::string& bmp, std::size_t offset, uint32_t value);
// The same file stored top-down: negative height, rows in the other order.
// Only for the Windows headers (40 bytes and more).
std::string FlipToTopDown(const std::string& bmp);

// The raster a printer should get: rows top to bottom, ceil(rasterWidth / 8)
// bytes each, 1 for a printed dot, columns at and beyond the picture's width
// blank.
std::string ExpectedRaster(const TestPicture& picture, int rasterWidth);
// The column bands: bands of 8 * bytesPerColumn rows, one column per dot of
// columns (rows past the picture blank).
std::vector<std::string> ExpectedBands(const TestPicture& picture, int columns, int bytesPerColumn);

}  // namespace bilhetor::testing
