#include "posprinter/BmpReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <utility>

#include "common/Strings.h"
#include "posprinter/ArquivoImagem.h"

namespace bilhetor {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

[[noreturn]] void Invalido(const std::string& motivo) {
  throw EInvalidGraphic("Imagem Bitmap inv\xE1lida: " + motivo);
}

// Little-endian reads that never leave the data: a field beyond the end of
// the file means the file is cut short.
class Leitor {
 public:
  explicit Leitor(std::string_view bytes) : bytes_(bytes) {}

  uint32_t U16(uint64_t pos) const { return Byte(pos) | (Byte(pos + 1) << 8); }
  uint32_t U32(uint64_t pos) const {
    return Byte(pos) | (Byte(pos + 1) << 8) | (Byte(pos + 2) << 16) | (Byte(pos + 3) << 24);
  }
  int32_t S32(uint64_t pos) const { return static_cast<int32_t>(U32(pos)); }
  uint32_t Byte(uint64_t pos) const {
    if (pos >= bytes_.size()) Invalido("arquivo incompleto");
    return static_cast<unsigned char>(bytes_[pos]);
  }
  uint64_t Tamanho() const { return bytes_.size(); }
  const unsigned char* Dados() const { return reinterpret_cast<const unsigned char*>(bytes_.data()); }

 private:
  std::string_view bytes_;
};

// One colour component described by a mask of 32-bit pixels.
struct Mascara {
  uint32_t mascara = 0;
  int deslocamento = 0;
  int bits = 0;

  explicit Mascara(uint32_t m) : mascara(m) {
    if (m == 0) return;
    while (((m >> deslocamento) & 1u) == 0) ++deslocamento;
    uint32_t v = m >> deslocamento;
    while (v & 1u) {
      ++bits;
      v >>= 1;
    }
    if (v != 0) Invalido(Format("m\xE1scara de cor %08X n\xE3o cont\xEDnua", m));
  }

  uint8_t Componente(uint32_t pixel) const {
    if (bits == 0) return 0;
    const uint32_t v = (pixel & mascara) >> deslocamento;
    if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
    return static_cast<uint8_t>(v * 255u / ((1u << bits) - 1u));
  }
};

std::vector<TCorRGB> LerPaleta(const Leitor& f, uint64_t inicio, uint64_t cores, uint32_t bpp, uint64_t bytesPorCor) {
  const uint64_t maxCores = uint64_t{1} << bpp;
  if (cores == 0 || cores > maxCores) cores = maxCores;
  if (inicio + cores * bytesPorCor > f.Tamanho()) Invalido("paleta incompleta");
  std::vector<TCorRGB> paleta(cores);
  for (uint64_t i = 0; i < cores; ++i) {
    const uint64_t p = inicio + i * bytesPorCor;
    paleta[i] = TCorRGB{static_cast<uint8_t>(f.Byte(p + 2)), static_cast<uint8_t>(f.Byte(p + 1)),
                        static_cast<uint8_t>(f.Byte(p))};
  }
  return paleta;
}

// Run-length compressed pixels (4 or 8 bits per pixel), rows bottom-up. Runs
// and literal groups past the row's end are clipped, moves past the picture
// end it, and pixels the data never reaches keep index 0, as Windows draws
// them.
TBitmap LerRle(const Leitor& f, uint64_t inicio, uint64_t tamanhoDados, int largura, int64_t altura64, uint32_t bpp,
               std::vector<TCorRGB> paleta) {
  if (inicio > f.Tamanho()) Invalido("dados dos pixels fora do arquivo");
  uint64_t fim = f.Tamanho();
  if (tamanhoDados != 0 && tamanhoDados < fim - inicio) fim = inicio + tamanhoDados;
  // Each pair of data bytes yields at most 255 pixels, so a picture far larger
  // than its data is damaged; refusing it also bounds the memory taken.
  const uint64_t pixels = static_cast<uint64_t>(largura) * static_cast<uint64_t>(altura64);
  if (pixels / 255 > fim - inicio + 1024) Invalido("dados compactados curtos demais para a imagem");
  const int altura = static_cast<int>(altura64);
  const std::size_t w = static_cast<std::size_t>(largura);
  std::vector<uint8_t> indices(pixels, 0);
  int64_t x = 0;
  int64_t linha = 0;  // from the bottom
  auto por = [&](unsigned indice) {
    if (indice >= paleta.size())
      Invalido(Format("\xEDndice de cor %u fora da paleta de %zu cores", indice, paleta.size()));
    if (x < largura && linha < altura)
      indices[static_cast<std::size_t>(altura - 1 - linha) * w + static_cast<std::size_t>(x)] = static_cast<uint8_t>(indice);
    ++x;
  };
  uint64_t p = inicio;
  while (p + 1 < fim && linha < altura) {
    const unsigned n = f.Byte(p);
    const unsigned c = f.Byte(p + 1);
    p += 2;
    if (n > 0) {  // a run of n pixels
      const unsigned vezes = static_cast<unsigned>(std::min<int64_t>(n, std::max<int64_t>(0, largura - x)));
      for (unsigned i = 0; i < vezes; ++i) por(bpp == 8 ? c : (i % 2 == 0 ? c >> 4 : c & 15));
      x += n - vezes;
    } else if (c == 0) {  // end of row
      x = 0;
      ++linha;
    } else if (c == 1) {  // end of picture
      break;
    } else if (c == 2) {  // move right and up
      if (p + 1 >= fim) break;
      x += f.Byte(p);
      linha += f.Byte(p + 1);
      p += 2;
    } else {  // c literal pixels, padded to an even number of bytes
      const uint64_t bytes = bpp == 8 ? c : (c + 1) / 2;
      if (p + bytes > fim) Invalido("dados compactados incompletos");
      for (unsigned i = 0; i < c; ++i) {
        const unsigned b = f.Byte(p + (bpp == 8 ? i : i / 2));
        if (x >= largura) {
          ++x;
          continue;
        }
        por(bpp == 8 ? b : (i % 2 == 0 ? b >> 4 : b & 15));
      }
      p += bytes + (bytes % 2);
    }
  }
  return TBitmap::ComPaleta(largura, altura, static_cast<int>(bpp), std::move(paleta), std::move(indices));
}

}  // namespace

TBitmap TBitmap::ComPaleta(int largura, int altura, int bitsPorPixel, std::vector<TCorRGB> paleta,
                           std::vector<uint8_t> indices) {
  if (largura < 0 || altura < 0 ||
      indices.size() != static_cast<std::size_t>(largura) * static_cast<std::size_t>(altura))
    throw EInvalidGraphic("Imagem Bitmap inv\xE1lida: dimens\xF5" "es e pixels n\xE3o conferem");
  for (uint8_t i : indices)
    if (i >= paleta.size()) Invalido(Format("\xEDndice de cor %u fora da paleta de %zu cores", i, paleta.size()));
  TBitmap b;
  b.largura_ = largura;
  b.altura_ = altura;
  b.bitsPorPixel_ = bitsPorPixel;
  b.paleta_ = std::move(paleta);
  b.indices_ = std::move(indices);
  return b;
}

TBitmap TBitmap::ComCores(int largura, int altura, int bitsPorPixel, std::vector<uint8_t> rgb) {
  if (largura < 0 || altura < 0 ||
      rgb.size() != 3 * static_cast<std::size_t>(largura) * static_cast<std::size_t>(altura))
    Invalido("dimens\xF5" "es e pixels n\xE3o conferem");
  TBitmap b;
  b.largura_ = largura;
  b.altura_ = altura;
  b.bitsPorPixel_ = bitsPorPixel;
  b.rgb_ = std::move(rgb);
  return b;
}

TCorRGB TBitmap::Pixel(int x, int y) const {
  const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(largura_) + static_cast<std::size_t>(x);
  if (!indices_.empty()) return paleta_[indices_.at(i)];
  return TCorRGB{rgb_.at(3 * i), rgb_.at(3 * i + 1), rgb_.at(3 * i + 2)};
}

uint8_t TBitmap::Indice(int x, int y) const {
  return indices_.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(largura_) + static_cast<std::size_t>(x));
}

namespace arquivoimagem {

void NaoAbre(const std::string& caminho) {
  throw EInvalidGraphic(Format("N\xE3o foi poss\xEDvel abrir o arquivo %s", caminho.c_str()));
}

void NaoComum(const std::string& caminho) {
  throw EInvalidGraphic(Format("Arquivo de imagem n\xE3o \xE9 um arquivo comum: %s", caminho.c_str()));
}

void Grande(const std::string& caminho) {
  throw EInvalidGraphic(
      Format("Arquivo de imagem maior que %zu MiB: %s", kTamanhoMaximoArquivoImagem >> 20, caminho.c_str()));
}

void ConferirTamanho(uint64_t tamanho, const std::string& caminho) {
  if (tamanho > kTamanhoMaximoArquivoImagem) Grande(caminho);
}

std::string LerAteOFim(uint64_t tamanho, const std::function<int64_t(char*, std::size_t)>& ler,
                       const std::string& caminho) {
  // At most one byte past the limit is read: that byte tells a file that grew
  // past it while being read.
  std::string bytes(static_cast<std::size_t>(std::min<uint64_t>(tamanho, kTamanhoMaximoArquivoImagem)), '\0');
  std::size_t lidos = 0;
  for (;;) {
    if (lidos == bytes.size()) {
      if (lidos > kTamanhoMaximoArquivoImagem) Grande(caminho);
      bytes.resize(std::min(kTamanhoMaximoArquivoImagem + 1, lidos + 64 * 1024));
    }
    const int64_t n = ler(bytes.data() + lidos, bytes.size() - lidos);
    if (n < 0) throw EInvalidGraphic(Format("Erro lendo o arquivo %s", caminho.c_str()));
    if (n == 0) break;
    lidos += static_cast<std::size_t>(n);
  }
  bytes.resize(lidos);
  return bytes;
}

}  // namespace arquivoimagem

TBitmap TBmpReader::CarregarArquivo(const std::string& caminho) const {
  return CarregarBytes(LerArquivoImagem(caminho));
}

TBitmap TBmpReader::CarregarBytes(std::string_view bytes) const {
  const Leitor f(bytes);
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') Invalido("o arquivo n\xE3o \xE9 um BMP");
  const uint64_t inicioDados = f.U32(10);
  const uint32_t tamanhoCabecalho = f.U32(14);

  int64_t largura = 0;
  int64_t altura = 0;
  uint32_t planos = 0;
  uint32_t bpp = 0;
  uint32_t compressao = kBiRgb;
  uint64_t coresUsadas = 0;
  uint64_t inicioPaleta = 14 + static_cast<uint64_t>(tamanhoCabecalho);
  uint64_t bytesPorCor = 4;

  if (tamanhoCabecalho == 12) {  // OS/2 and Windows 2 core header
    largura = f.U16(18);
    altura = f.U16(20);
    planos = f.U16(22);
    bpp = f.U16(24);
    bytesPorCor = 3;
  } else if (tamanhoCabecalho == 40 || tamanhoCabecalho == 52 || tamanhoCabecalho == 56 ||
             tamanhoCabecalho == 108 || tamanhoCabecalho == 124) {
    largura = f.S32(18);
    altura = f.S32(22);
    planos = f.U16(26);
    bpp = f.U16(28);
    compressao = f.U32(30);
    coresUsadas = f.U32(46);
    // The plain header is followed by the colour masks when they are used.
    if (tamanhoCabecalho == 40 && compressao == kBiBitfields) inicioPaleta += 12;
    if (tamanhoCabecalho == 40 && compressao == kBiAlphaBitfields) inicioPaleta += 16;
  } else {
    Invalido(Format("cabe\xE7" "alho de %u bytes n\xE3o suportado", tamanhoCabecalho));
  }

  if (planos != 1) Invalido(Format("%u planos de cor", planos));
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    Invalido(Format("%u bits por pixel n\xE3o suportado", bpp));
  const bool mascaras = compressao == kBiBitfields || compressao == kBiAlphaBitfields;
  const bool rle = (compressao == kBiRle8 && bpp == 8) || (compressao == kBiRle4 && bpp == 4);
  if (compressao != kBiRgb && !(mascaras && bpp == 32) && !rle)
    Invalido(Format("compress\xE3o %u n\xE3o suportada com %u bits por pixel", compressao, bpp));
  if (largura <= 0 || altura == 0)
    Invalido(Format("dimens\xF5" "es %lldx%lld", static_cast<long long>(largura), static_cast<long long>(altura)));
  const bool topoParaBaixo = altura < 0;
  if (topoParaBaixo) altura = -altura;
  if (rle) {
    if (topoParaBaixo) Invalido("imagem compactada gravada de cima para baixo");
    return LerRle(f, inicioDados, f.U32(34), static_cast<int>(largura), altura, bpp,
                  LerPaleta(f, inicioPaleta, coresUsadas, bpp, bytesPorCor));
  }

  // Every row must be in the file before anything is allocated; this also
  // bounds the picture's size by the file's.
  const uint64_t bytesLinha = (static_cast<uint64_t>(largura) * bpp + 7) / 8;
  const uint64_t passo = (static_cast<uint64_t>(largura) * bpp + 31) / 32 * 4;
  const uint64_t tamanho = f.Tamanho();
  if (inicioDados > tamanho || passo * static_cast<uint64_t>(altura - 1) + bytesLinha > tamanho - inicioDados)
    Invalido(Format("dados dos pixels incompletos (%lldx%lld, %u bits por pixel)", static_cast<long long>(largura),
                    static_cast<long long>(altura), bpp));

  const int w = static_cast<int>(largura);
  const int h = static_cast<int>(altura);
  const unsigned char* dados = f.Dados() + inicioDados;
  auto linha = [&](int y) {  // y counts from the top
    const uint64_t linhaArquivo = topoParaBaixo ? static_cast<uint64_t>(y) : static_cast<uint64_t>(h - 1 - y);
    return dados + linhaArquivo * passo;
  };

  if (bpp <= 8) {
    std::vector<TCorRGB> paleta = LerPaleta(f, inicioPaleta, coresUsadas, bpp, bytesPorCor);
    coresUsadas = paleta.size();
    std::vector<uint8_t> indices(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const unsigned porByte = 8 / bpp;
    const unsigned mascara = (1u << bpp) - 1u;
    for (int y = 0; y < h; ++y) {
      const unsigned char* origem = linha(y);
      uint8_t* destino = indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
      for (int x = 0; x < w; ++x) {
        const unsigned byte = origem[static_cast<unsigned>(x) / porByte];
        const unsigned deslocamento = 8 - bpp * (static_cast<unsigned>(x) % porByte + 1);
        const unsigned indice = (byte >> deslocamento) & mascara;
        if (indice >= coresUsadas)
          Invalido(Format("\xEDndice de cor %u fora da paleta de %u cores", indice, static_cast<unsigned>(coresUsadas)));
        destino[x] = static_cast<uint8_t>(indice);
      }
    }
    return TBitmap::ComPaleta(w, h, static_cast<int>(bpp), std::move(paleta), std::move(indices));
  }

  std::vector<uint8_t> rgb(3 * static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  if (bpp == 24 || !mascaras) {
    const unsigned passoPixel = bpp / 8;
    for (int y = 0; y < h; ++y) {
      const unsigned char* origem = linha(y);
      uint8_t* destino = rgb.data() + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
      for (int x = 0; x < w; ++x, origem += passoPixel, destino += 3) {
        destino[0] = origem[2];
        destino[1] = origem[1];
        destino[2] = origem[0];
      }
    }
  } else {
    if (tamanho < 66) Invalido("m\xE1scaras de cor incompletas");
    const Mascara r(f.U32(54)), g(f.U32(58)), b(f.U32(62));
    for (int y = 0; y < h; ++y) {
      const unsigned char* origem = linha(y);
      uint8_t* destino = rgb.data() + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
      for (int x = 0; x < w; ++x, origem += 4, destino += 3) {
        const uint32_t pixel = origem[0] | (uint32_t{origem[1]} << 8) | (uint32_t{origem[2]} << 16) |
                               (uint32_t{origem[3]} << 24);
        destino[0] = r.Componente(pixel);
        destino[1] = g.Componente(pixel);
        destino[2] = b.Componente(pixel);
      }
    }
  }
  return TBitmap::ComCores(w, h, static_cast<int>(bpp), std::move(rgb));
}

const IBitmapLoader& BitmapLoaderPadrao() {
  static const TBmpReader leitor;
  return leitor;
}

}  // namespace bilhetor
