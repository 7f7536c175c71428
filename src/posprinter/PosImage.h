#pragma once
// Monochrome pictures for the printer: the formats the command sets exchange
// and the conversions between them.
//
// - Raster: the rows top to bottom, ceil(W / 8) bytes per row, the most
//   significant bit the leftmost dot, 1 a printed (black) dot. It always
//   travels with its width W and height H in dots (TRasterImagem).
// - Text picture ("ASCII art"): one text line per dot row, top to bottom,
//   "1" a printed dot and "0" a blank one.
// - Column band: the dots of a band of 8 * n rows; for each dot column from
//   left to right, n bytes from top to bottom, the most significant bit the
//   topmost dot. A picture becomes a list of bands, top to bottom.
//
// Failures raise EPosImage. Messages are Windows-1252 text, like every text of
// the printer engine.
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exception.h"
#include "posprinter/BmpReader.h"

namespace bilhetor {

BILHETOR_DECLARE_ERROR(EPosImage);

struct TRasterImagem {
  std::string Raster;
  int Largura = 0;  // W, in dots
  int Altura = 0;   // H, in dots
  bool operator==(const TRasterImagem&) const = default;
};

// True when the bytes hold a BMP ("BM" first) and, with ExigirMono, one of one
// colour plane and one bit per pixel. The bytes are the whole file.
bool EhBMPMono(std::string_view bmp, bool ExigirMono);
// The same for the BMP that starts at the stream's current position; the
// position is restored before returning.
bool EhBMPMono(std::istream& stream, bool ExigirMono);

// Reads a monochrome BMP (bottom-up rows) into a raster. W is the file's width
// rounded up to a multiple of 8. With Inverter every dot is complemented (the
// palette is not read: a 0 bit in the file is a printed dot) and the padding
// dots beyond the file's width are left blank. Header fields that do not fit
// the data raise EPosImage; nothing outside the data is read.
TRasterImagem LerBMPMono(std::string_view bmp, bool Inverter);
// The same for the BMP from the stream's current position to its end.
TRasterImagem LerBMPMono(std::istream& stream, bool Inverter);

// Reads a monochrome BMP for printing, as ImagemParaRaster prints a loaded
// 1-bit picture: the dots of the darker palette colour print, whichever
// palette slot holds it (colour 0 when both are equally dark). A palette that
// cannot be read (a header of another size, colours past the end) leaves
// LerBMPMono's rule: a 0 bit prints. The padding dots past the file's width
// stay blank. The checks and errors are those of LerBMPMono.
TRasterImagem LerBMPMonoPelaPaleta(std::string_view bmp);

// A loaded picture as a raster. A 1-bit picture goes through LerBMPMono with
// Inverter (so W is rounded up to a multiple of 8), its darker palette colour
// printed; any other picture is thresholded: luminance
// trunc(0.3 R + 0.59 G + 0.11 B) of 127 or less is a printed dot, W is the
// picture's own width.
TRasterImagem ImagemParaRaster(const TBitmap& Bitmap);
// Loads the bitmap file at caminho with the loader and converts it.
TRasterImagem ImagemArquivoParaRaster(const std::string& caminho,
                                      const IBitmapLoader& loader = BitmapLoaderPadrao());

// A text picture as a raster: H is the number of lines, W the length of the
// first line; every line is padded with "0" (or cut) to W rounded up to a
// multiple of 8. No lines give an empty raster with W = H = 0. A first line
// longer than 65535 characters, or more than 65535 lines, raises EPosImage.
TRasterImagem TextoBinarioParaRaster(const std::vector<std::string>& Linhas);

// A raster as a text picture of ceil(AWidth / 8) * 8 characters per line (a
// trailing incomplete row is dropped); with Inverter the dots are complemented.
// AWidth below 1 raises EPosImage "RasterStrToAscII: AWidth é obrigatório".
std::vector<std::string> RasterStrToAscII(std::string_view Raster, int AWidth, bool Inverter);

// A text picture as column bands of BytesPorColuna bytes per column; 0, or a
// value above the number of lines, makes one band as tall as the picture
// rounded up to 8 rows. Columns: the first line's length rounded up to a
// multiple of 8. Missing rows and characters count as "0". The same size
// limits as TextoBinarioParaRaster hold; a negative BytesPorColuna raises
// EPosImage.
std::vector<std::string> TextoBinarioParaColunas(const std::vector<std::string>& Linhas, int BytesPorColuna);

// RasterStrToAscII(Raster, AWidth, false) followed by TextoBinarioParaColunas,
// computed straight from the bits.
std::vector<std::string> RasterParaColunas(std::string_view Raster, int AWidth, int BytesPorColuna);

// A byte as its 8 bit characters, most significant first (05 -> "00000101").
std::string ByteParaTextoBinario(unsigned char b);
// A text of bit characters as a number: the last character is bit 0, any
// character other than "1" counts as 0 (a short text is read right-aligned).
unsigned char TextoBinarioParaByte(std::string_view bits);

// Splits text at its line breaks (CR LF, LF or CR).
std::vector<std::string> DividirLinhas(std::string_view texto);

// Base64 (standard alphabet, "=" padding).
// True when the text is Base64: length above 0 and a multiple of 4, at most
// two "=" and only at the end, every other character in A-Z a-z 0-9 + /.
bool EhTextoBase64(std::string_view texto);
// Decodes Base64 text; text that is not Base64 raises EPosImage.
std::string DecodificarBase64(std::string_view texto);
std::string CodificarBase64(std::string_view bytes);

// The three forms of the content of the "<bmp>" tag, decided on the content
// without its leading and trailing blanks and control characters.
enum class TFormaConteudoBMP {
  fcVazio,         // nothing to print
  fcTextoBinario,  // the first 10 characters (all when fewer) are "0"/"1"
  fcBase64,        // Base64 text of a BMP file (read with LerBMPMonoPelaPaleta)
  fcArquivo,       // the name of a bitmap file
};
TFormaConteudoBMP FormaConteudoBMP(std::string_view Conteudo);

}  // namespace bilhetor
