#pragma once
// The bitmap loader: reads a Windows bitmap (BMP) file into a picture whose
// pixels can be asked for their red, green and blue components. It reads
// uncompressed files of 1, 4, 8, 24 and 32 bits per pixel (32-bit ones also
// with colour masks), stored bottom-up or top-down, with the OS/2 and every
// Windows header size. Anything else is refused with EInvalidGraphic.
//
// The image conversions reach the loader through IBitmapLoader, so a caller
// (or a test) can put another loader in its place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exception.h"

namespace bilhetor {

// A file that is not a bitmap the loader can read, or that cannot be read.
BILHETOR_DECLARE_ERROR(EInvalidGraphic);

// The largest picture file read, in bytes: room for a picture as wide as the
// widest thermal paper (576 dots) in 32-bit colour and 3640 rows long.
constexpr std::size_t kTamanhoMaximoArquivoImagem = 8u * 1024u * 1024u;

// Reads the whole picture file at caminho, the one way the engine reads a
// picture from a file. Links are followed; what they lead to must be a regular
// file (a FIFO, a device such as /dev/zero, a folder or a socket is refused
// before it is opened, so no read can block or go on forever) of at most
// kTamanhoMaximoArquivoImagem bytes, checked before reading and again while
// reading, in case the file grows. Raises EInvalidGraphic:
//   "Arquivo de imagem não é um arquivo comum: <caminho>"
//   "Arquivo de imagem maior que 8 MiB: <caminho>"
//   "Não foi possível abrir o arquivo <caminho>", "Erro lendo o arquivo <caminho>"
std::string LerArquivoImagem(const std::string& caminho);

struct TCorRGB {
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;
  constexpr bool operator==(const TCorRGB&) const = default;
};

// A loaded picture, rows top to bottom. Pictures of 1, 4 and 8 bits per pixel
// keep their palette and each pixel's palette index; the others keep the
// pixels' colours.
class TBitmap {
 public:
  TBitmap() = default;
  // A paletted picture: one index per pixel, rows top to bottom.
  static TBitmap ComPaleta(int largura, int altura, int bitsPorPixel, std::vector<TCorRGB> paleta,
                           std::vector<uint8_t> indices);
  // A true-colour picture: R, G, B per pixel, rows top to bottom.
  static TBitmap ComCores(int largura, int altura, int bitsPorPixel, std::vector<uint8_t> rgb);

  int Largura() const { return largura_; }
  int Altura() const { return altura_; }
  int BitsPorPixel() const { return bitsPorPixel_; }
  bool Monocromatico() const { return bitsPorPixel_ == 1; }
  bool Vazio() const { return largura_ == 0 || altura_ == 0; }

  // The colour of the pixel in column x, row y (0-based, row 0 at the top).
  TCorRGB Pixel(int x, int y) const;
  // Paletted pictures only: the palette and a pixel's index.
  const std::vector<TCorRGB>& Paleta() const { return paleta_; }
  uint8_t Indice(int x, int y) const;
  // The raw pixel stores, rows top to bottom: the indices of a paletted
  // picture (empty otherwise) and the R, G, B triples of a true-colour one
  // (empty otherwise).
  const std::vector<uint8_t>& Indices() const { return indices_; }
  const std::vector<uint8_t>& Cores() const { return rgb_; }

 private:
  int largura_ = 0;
  int altura_ = 0;
  int bitsPorPixel_ = 0;
  std::vector<TCorRGB> paleta_;
  std::vector<uint8_t> indices_;  // paletted: one per pixel
  std::vector<uint8_t> rgb_;      // true colour: three per pixel
};

class IBitmapLoader {
 public:
  virtual ~IBitmapLoader() = default;
  // Loads the bitmap file at caminho; EInvalidGraphic when it cannot be read
  // (see LerArquivoImagem) or is not a bitmap the loader understands.
  virtual TBitmap CarregarArquivo(const std::string& caminho) const = 0;
  // Loads a bitmap from the bytes of a whole file.
  virtual TBitmap CarregarBytes(std::string_view bytes) const = 0;
};

// The BMP reader of this system. It reads files through LerArquivoImagem.
class TBmpReader : public IBitmapLoader {
 public:
  TBitmap CarregarArquivo(const std::string& caminho) const override;
  TBitmap CarregarBytes(std::string_view bytes) const override;
};

// The loader used when a caller names none.
const IBitmapLoader& BitmapLoaderPadrao();

}  // namespace bilhetor
