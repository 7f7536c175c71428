#include "posprinter/PosImage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <limits>

#include "common/Strings.h"

namespace bilhetor {

namespace {

int64_t LE4(std::string_view b, std::size_t pos) {
  const auto u = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(b[pos + i])); };
  return static_cast<int32_t>(u(0) | (u(1) << 8) | (u(2) << 16) | (u(3) << 24));
}

uint32_t LE2(std::string_view b, std::size_t pos) {
  return static_cast<unsigned char>(b[pos]) | (static_cast<uint32_t>(static_cast<unsigned char>(b[pos + 1])) << 8);
}

std::string LerRestoDoStream(std::istream& stream) {
  return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

// Integer form of trunc(0.3 R + 0.59 G + 0.11 B) <= 127, free of the rounding
// of binary fractions (0.3 * 255 + 0.59 * 255 + 0.11 * 255 is 255 exactly).
constexpr bool Escuro(unsigned r, unsigned g, unsigned b) { return 30 * r + 59 * g + 11 * b < 128 * 100; }

unsigned Luminancia100(const TCorRGB& c) { return 30u * c.R + 59u * c.G + 11u * c.B; }

// The palette index whose dots a 1-bit picture prints: 1 when that colour is
// darker than colour 0, else 0 (equal colours, or a single one, print 0). The
// one rule of the file and the Base64 routes of "<bmp>".
uint8_t IndiceImpresso(const std::vector<TCorRGB>& paleta) {
  return paleta.size() >= 2 && Luminancia100(paleta[1]) < Luminancia100(paleta[0]) ? 1 : 0;
}

// The palette of a 1-bit BMP held in bytes, read where the bitmap loader
// reads it: after a Windows header (40, 52, 56, 108 or 124 bytes), as many
// colours as the header says it uses (0 or more than 2 meaning 2), 4 bytes
// each (blue, green, red, unused). Empty when the header is of another size
// or the colours lie past the end of the bytes.
std::vector<TCorRGB> PaletaBMPMono(std::string_view bmp) {
  if (bmp.size() < 50) return {};
  const uint64_t cabecalho = static_cast<uint32_t>(LE4(bmp, 14));
  if (cabecalho != 40 && cabecalho != 52 && cabecalho != 56 && cabecalho != 108 && cabecalho != 124) return {};
  uint64_t cores = static_cast<uint32_t>(LE4(bmp, 46));
  if (cores == 0 || cores > 2) cores = 2;
  const uint64_t inicio = 14 + cabecalho;
  if (inicio + 4 * cores > bmp.size()) return {};
  std::vector<TCorRGB> paleta;
  for (uint64_t i = 0; i < cores; ++i) {
    const auto byte = [&](uint64_t k) { return static_cast<uint8_t>(bmp[inicio + 4 * i + k]); };
    paleta.push_back(TCorRGB{byte(2), byte(1), byte(0)});
  }
  return paleta;
}

void PorLE4(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PorLE2(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

// Writes a 1-bit picture as the bytes of a bottom-up BMP file whose 0 bits are
// the picture's darker palette colour (palette black, white), the form
// LerBMPMono with Inverter prints as drawn. With equal colours, or a single
// one, index 0 is the printed one.
std::string EscreverBMPMono(const TBitmap& bmp) {
  const uint8_t indiceImpresso = IndiceImpresso(bmp.Paleta());

  const uint32_t w = static_cast<uint32_t>(bmp.Largura());
  const uint32_t h = static_cast<uint32_t>(bmp.Altura());
  const uint32_t passo = (w + 31) / 32 * 4;
  const uint32_t tamanhoImagem = passo * h;
  std::string s;
  s.reserve(62 + tamanhoImagem);
  s += "BM";
  PorLE4(s, 62 + tamanhoImagem);
  PorLE4(s, 0);
  PorLE4(s, 62);
  PorLE4(s, 40);
  PorLE4(s, w);
  PorLE4(s, h);
  PorLE2(s, 1);
  PorLE2(s, 1);
  PorLE4(s, 0);
  PorLE4(s, tamanhoImagem);
  PorLE4(s, 2835);
  PorLE4(s, 2835);
  PorLE4(s, 2);
  PorLE4(s, 0);
  PorLE4(s, 0x00000000);  // black
  PorLE4(s, 0x00FFFFFF);  // white
  const auto& indices = bmp.Indices();
  for (uint32_t linha = h; linha-- > 0;) {
    std::string bytes(passo, '\0');
    const uint8_t* origem = indices.data() + static_cast<std::size_t>(linha) * w;
    for (uint32_t x = 0; x < w; ++x)
      if (origem[x] != indiceImpresso) bytes[x / 8] = static_cast<char>(bytes[x / 8] | (0x80 >> (x % 8)));
    s += bytes;
  }
  return s;
}

int BytesPorColunaEfetivo(int BytesPorColuna, std::size_t linhas) {
  if (BytesPorColuna < 0) throw EPosImage(Format("BytesPorColuna [%d] inv\xE1lido", BytesPorColuna));
  if (BytesPorColuna == 0 || static_cast<std::size_t>(BytesPorColuna) > linhas)
    return static_cast<int>((linhas + 7) / 8);
  return BytesPorColuna;
}

// Transposes an 8 x 8 block of dots: byte i of the input (counting from the
// most significant) is row i, its most significant bit column 0; byte j of the
// result is column j, its most significant bit row 0.
constexpr uint64_t Transpor8x8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
  x = x ^ t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
  x = x ^ t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
  x = x ^ t ^ (t << 28);
  return x;
}

// A text picture wider or taller than any printer command can carry (their
// sizes are 16-bit) is refused before its raster is built: a few megabytes of
// text could otherwise ask for gigabytes of dots.
constexpr std::size_t kMaxPontosTexto = 65535;
void VerificarTamanhoTexto(const std::vector<std::string>& Linhas) {
  if (Linhas.front().size() > kMaxPontosTexto || Linhas.size() > kMaxPontosTexto)
    throw EPosImage(Format("Imagem em texto grande demais [%zu x %zu pontos]", Linhas.front().size(), Linhas.size()));
}

constexpr std::array<int8_t, 256> TabelaBase64() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = -1;
  const char* alfabeto = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(alfabeto[i])] = static_cast<int8_t>(i);
  return t;
}
constexpr std::array<int8_t, 256> kBase64 = TabelaBase64();

}  // namespace

bool EhBMPMono(std::string_view bmp, bool ExigirMono) {
  if (bmp.size() < 2 || bmp[0] != 'B' || bmp[1] != 'M') return false;
  if (!ExigirMono) return true;
  if (bmp.size() < 30) return false;
  return LE2(bmp, 26) == 1 && LE2(bmp, 28) == 1;
}

bool EhBMPMono(std::istream& stream, bool ExigirMono) {
  const auto posicao = stream.tellg();
  char cabecalho[30];
  stream.read(cabecalho, sizeof cabecalho);
  const auto lidos = static_cast<std::size_t>(stream.gcount());
  stream.clear();
  if (posicao != std::streampos(-1)) stream.seekg(posicao);
  return EhBMPMono(std::string_view(cabecalho, lidos), ExigirMono);
}

TRasterImagem LerBMPMono(std::string_view bmp, bool Inverter) {
  if (!EhBMPMono(bmp, true)) throw EPosImage("Imagem n\xE3o \xE9 BMP Monocrom\xE1tica");
  if (bmp.size() < 38) throw EPosImage(Format("Cabe\xE7" "alho do Bitmap incompleto [%zu bytes]", bmp.size()));
  const int64_t inicio = LE4(bmp, 10);
  const int64_t largura = LE4(bmp, 18);
  const int64_t altura = LE4(bmp, 22);
  int64_t tamanhoImagem = LE4(bmp, 34);
  const int64_t tamanhoArquivo = static_cast<int64_t>(bmp.size());

  if (altura <= 0) throw EPosImage(Format("Altura do Bitmap [%d] inv\xE1lida", static_cast<int>(altura)));
  if (largura <= 0) throw EPosImage(Format("Largura do Bitmap [%d] inv\xE1lida", static_cast<int>(largura)));
  if (inicio < 0 || inicio > tamanhoArquivo)
    throw EPosImage(Format("In\xED" "cio dos dados do Bitmap [%d] fora do arquivo de %lld bytes", static_cast<int>(inicio),
                           static_cast<long long>(tamanhoArquivo)));
  if (tamanhoImagem == 0) tamanhoImagem = tamanhoArquivo - inicio;
  if (tamanhoImagem < 0 || tamanhoImagem > tamanhoArquivo - inicio)
    throw EPosImage(Format("Tamanho da imagem do Bitmap [%d] maior que os dados do arquivo [%lld bytes]",
                           static_cast<int>(tamanhoImagem), static_cast<long long>(tamanhoArquivo - inicio)));

  // The row stride is taken from the image size, as the files of this
  // system's printers' tools were written; the rows must fit in it.
  const int64_t porLinha = (largura + 7) / 8;
  const int64_t passo = (tamanhoImagem * 8 / altura + 7) / 8;
  if (porLinha > passo || passo * altura > tamanhoImagem)
    throw EPosImage(Format("Tamanho da imagem do Bitmap [%d] n\xE3o comporta %d linhas de %d pontos",
                           static_cast<int>(tamanhoImagem), static_cast<int>(altura), static_cast<int>(largura)));

  if (porLinha * 8 > std::numeric_limits<int>::max())
    throw EPosImage(Format("Largura do Bitmap [%d] inv\xE1lida", static_cast<int>(largura)));

  // Bottom-up rows: the last row of the data is the top of the picture.
  const std::size_t a = static_cast<std::size_t>(porLinha);
  const int sobra = static_cast<int>(largura % 8);
  const unsigned char mascaraUltimo = sobra == 0 ? 0xFF : static_cast<unsigned char>(0xFF << (8 - sobra));
  TRasterImagem r;
  r.Largura = static_cast<int>(porLinha * 8);
  r.Altura = static_cast<int>(altura);
  r.Raster.resize(a * static_cast<std::size_t>(altura));
  char* destino = r.Raster.data();
  for (int64_t linha = altura - 1; linha >= 0; --linha, destino += a) {
    const char* origem = bmp.data() + inicio + linha * passo;
    if (!Inverter) {
      std::copy(origem, origem + a, destino);
      continue;
    }
    for (std::size_t i = 0; i < a; ++i) destino[i] = static_cast<char>(~static_cast<unsigned char>(origem[i]));
    // The dots past the file's width are padding: after the inversion they
    // would print as a black stripe, so they stay blank.
    destino[a - 1] = static_cast<char>(static_cast<unsigned char>(destino[a - 1]) & mascaraUltimo);
  }
  return r;
}

TRasterImagem LerBMPMono(std::istream& stream, bool Inverter) { return LerBMPMono(LerRestoDoStream(stream), Inverter); }

TRasterImagem LerBMPMonoPelaPaleta(std::string_view bmp) {
  if (!EhBMPMono(bmp, true) || IndiceImpresso(PaletaBMPMono(bmp)) == 0) return LerBMPMono(bmp, true);
  // Colour 1 prints: the file's bits are the dots, and the padding dots past
  // the width stay blank whatever the file holds there.
  TRasterImagem r = LerBMPMono(bmp, false);
  const int sobra = static_cast<int>(LE4(bmp, 18) % 8);
  if (sobra != 0) {
    const auto mascara = static_cast<unsigned char>(0xFF << (8 - sobra));
    const std::size_t a = static_cast<std::size_t>(r.Largura / 8);
    for (std::size_t fim = a; fim <= r.Raster.size(); fim += a)
      r.Raster[fim - 1] = static_cast<char>(static_cast<unsigned char>(r.Raster[fim - 1]) & mascara);
  }
  return r;
}

TRasterImagem ImagemParaRaster(const TBitmap& Bitmap) {
  if (Bitmap.Monocromatico() && !Bitmap.Vazio()) return LerBMPMono(EscreverBMPMono(Bitmap), true);

  TRasterImagem r;
  r.Largura = Bitmap.Largura();
  r.Altura = Bitmap.Altura();
  if (Bitmap.Vazio()) return r;
  const std::size_t w = static_cast<std::size_t>(Bitmap.Largura());
  const std::size_t h = static_cast<std::size_t>(Bitmap.Altura());
  const std::size_t porLinha = (w + 7) / 8;
  r.Raster.assign(porLinha * h, '\0');

  if (!Bitmap.Indices().empty()) {
    // Paletted: decide each palette colour once.
    std::array<bool, 256> escuro{};
    const auto& paleta = Bitmap.Paleta();
    for (std::size_t i = 0; i < paleta.size() && i < escuro.size(); ++i)
      escuro[i] = Escuro(paleta[i].R, paleta[i].G, paleta[i].B);
    const uint8_t* indice = Bitmap.Indices().data();
    for (std::size_t y = 0; y < h; ++y) {
      char* linha = r.Raster.data() + y * porLinha;
      for (std::size_t x = 0; x < w; ++x, ++indice)
        if (escuro[*indice]) linha[x / 8] = static_cast<char>(linha[x / 8] | (0x80 >> (x % 8)));
    }
    return r;
  }

  // Eight pixels make one byte; the comparison feeds the bit without a branch,
  // since photographs and dithered logos mix dark and light pixels at random.
  const uint8_t* rgb = Bitmap.Cores().data();
  for (std::size_t y = 0; y < h; ++y) {
    char* linha = r.Raster.data() + y * porLinha;
    std::size_t x = 0;
    for (; x < w; x += 8) {
      const std::size_t n = std::min<std::size_t>(8, w - x);
      unsigned byte = 0;
      for (std::size_t i = 0; i < n; ++i, rgb += 3)
        byte |= static_cast<unsigned>(Escuro(rgb[0], rgb[1], rgb[2])) << (7 - i);
      linha[x / 8] = static_cast<char>(byte);
    }
  }
  return r;
}

TRasterImagem ImagemArquivoParaRaster(const std::string& caminho, const IBitmapLoader& loader) {
  return ImagemParaRaster(loader.CarregarArquivo(caminho));
}

std::string ByteParaTextoBinario(unsigned char b) {
  std::string s(8, '0');
  for (int i = 0; i < 8; ++i)
    if (b & (0x80 >> i)) s[static_cast<std::size_t>(i)] = '1';
  return s;
}

unsigned char TextoBinarioParaByte(std::string_view bits) {
  unsigned v = 0;
  for (char c : bits) v = (v << 1) | (c == '1' ? 1u : 0u);
  return static_cast<unsigned char>(v);
}

TRasterImagem TextoBinarioParaRaster(const std::vector<std::string>& Linhas) {
  TRasterImagem r;
  if (Linhas.empty()) return r;
  VerificarTamanhoTexto(Linhas);
  r.Altura = static_cast<int>(Linhas.size());
  r.Largura = static_cast<int>(Linhas.front().size());
  const std::size_t porLinha = (Linhas.front().size() + 7) / 8;
  r.Raster.assign(porLinha * Linhas.size(), '\0');
  // Every line is read as if padded with "0" (or cut) to the width rounded up
  // to whole bytes, so a short line keeps its dots where they were drawn.
  char* destino = r.Raster.data();
  for (const std::string& linha : Linhas) {
    const std::size_t n = std::min(linha.size(), porLinha * 8);
    for (std::size_t x = 0; x < n; ++x)
      if (linha[x] == '1') destino[x / 8] = static_cast<char>(destino[x / 8] | (0x80 >> (x % 8)));
    destino += porLinha;
  }
  return r;
}

std::vector<std::string> RasterStrToAscII(std::string_view Raster, int AWidth, bool Inverter) {
  if (AWidth < 1) throw EPosImage("RasterStrToAscII: AWidth \xE9 obrigat\xF3rio");
  const std::size_t b = (static_cast<std::size_t>(AWidth) + 7) / 8;
  const std::size_t linhas = Raster.size() / b;
  std::vector<std::string> resultado;
  resultado.reserve(linhas);
  for (std::size_t y = 0; y < linhas; ++y) {
    std::string linha;
    linha.reserve(b * 8);
    for (std::size_t i = 0; i < b; ++i) {
      unsigned char byte = static_cast<unsigned char>(Raster[y * b + i]);
      if (Inverter) byte = static_cast<unsigned char>(~byte);
      linha += ByteParaTextoBinario(byte);
    }
    resultado.push_back(std::move(linha));
  }
  return resultado;
}

std::vector<std::string> TextoBinarioParaColunas(const std::vector<std::string>& Linhas, int BytesPorColuna) {
  if (Linhas.empty()) return {};
  VerificarTamanhoTexto(Linhas);
  const std::size_t h = Linhas.size();
  const std::size_t w = (Linhas.front().size() + 7) / 8 * 8;
  const std::size_t n = static_cast<std::size_t>(BytesPorColunaEfetivo(BytesPorColuna, h));
  const std::size_t alturaFaixa = 8 * n;
  const std::size_t faixas = (h + alturaFaixa - 1) / alturaFaixa;
  std::vector<std::string> resultado(faixas);
  for (std::size_t f = 0; f < faixas; ++f) {
    std::string& faixa = resultado[f];
    faixa.assign(w * n, '\0');
    for (std::size_t k = 0; k < alturaFaixa; ++k) {
      const std::size_t y = f * alturaFaixa + k;
      if (y >= h) break;
      const std::string& linha = Linhas[y];
      const std::size_t ate = std::min(linha.size(), w);
      const unsigned char bit = static_cast<unsigned char>(0x80 >> (k % 8));
      for (std::size_t x = 0; x < ate; ++x)
        if (linha[x] == '1') {
          char& c = faixa[x * n + k / 8];
          c = static_cast<char>(static_cast<unsigned char>(c) | bit);
        }
    }
  }
  return resultado;
}

std::vector<std::string> RasterParaColunas(std::string_view Raster, int AWidth, int BytesPorColuna) {
  if (AWidth < 1) throw EPosImage("RasterStrToAscII: AWidth \xE9 obrigat\xF3rio");
  const std::size_t b = (static_cast<std::size_t>(AWidth) + 7) / 8;
  const std::size_t h = Raster.size() / b;
  if (h == 0) return {};
  const std::size_t w = b * 8;
  const std::size_t n = static_cast<std::size_t>(BytesPorColunaEfetivo(BytesPorColuna, h));
  const std::size_t alturaFaixa = 8 * n;
  const std::size_t faixas = (h + alturaFaixa - 1) / alturaFaixa;
  const auto* dados = reinterpret_cast<const unsigned char*>(Raster.data());
  std::vector<std::string> resultado(faixas);
  for (std::size_t f = 0; f < faixas; ++f) {
    std::string& faixa = resultado[f];
    faixa.assign(w * n, '\0');
    // Each group of 8 rows and 8 columns is one byte of 8 columns' data.
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t y0 = f * alturaFaixa + 8 * k;
      if (y0 >= h) break;
      const std::size_t linhas = std::min<std::size_t>(8, h - y0);
      for (std::size_t bx = 0; bx < b; ++bx) {
        uint64_t bloco = 0;
        for (std::size_t j = 0; j < linhas; ++j) bloco |= uint64_t{dados[(y0 + j) * b + bx]} << (56 - 8 * j);
        if (bloco == 0) continue;
        const uint64_t colunas = Transpor8x8(bloco);
        for (std::size_t i = 0; i < 8; ++i)
          faixa[(bx * 8 + i) * n + k] = static_cast<char>((colunas >> (56 - 8 * i)) & 0xFF);
      }
    }
  }
  return resultado;
}

std::vector<std::string> DividirLinhas(std::string_view texto) {
  std::vector<std::string> linhas;
  std::size_t inicio = 0;
  std::size_t i = 0;
  while (i < texto.size()) {
    const char c = texto[i];
    if (c == '\r' || c == '\n') {
      linhas.emplace_back(texto.substr(inicio, i - inicio));
      i += (c == '\r' && i + 1 < texto.size() && texto[i + 1] == '\n') ? 2 : 1;
      inicio = i;
    } else {
      ++i;
    }
  }
  if (inicio < texto.size()) linhas.emplace_back(texto.substr(inicio));
  return linhas;
}

bool EhTextoBase64(std::string_view texto) {
  if (texto.empty() || texto.size() % 4 != 0) return false;
  std::size_t fim = texto.size();
  int iguais = 0;
  while (fim > 0 && texto[fim - 1] == '=' && iguais < 3) {
    --fim;
    ++iguais;
  }
  if (iguais > 2) return false;
  for (std::size_t i = 0; i < fim; ++i)
    if (kBase64[static_cast<unsigned char>(texto[i])] < 0) return false;
  return true;
}

std::string DecodificarBase64(std::string_view texto) {
  if (!EhTextoBase64(texto)) throw EPosImage("Texto Base64 inv\xE1lido");
  std::string bytes;
  bytes.reserve(texto.size() / 4 * 3);
  uint32_t acumulado = 0;
  int bits = 0;
  for (char c : texto) {
    if (c == '=') break;
    acumulado = (acumulado << 6) | static_cast<uint32_t>(kBase64[static_cast<unsigned char>(c)]);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<char>((acumulado >> bits) & 0xFF));
    }
  }
  return bytes;
}

std::string CodificarBase64(std::string_view bytes) {
  static const char* alfabeto = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string s;
  s.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16) |
                       (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    s += alfabeto[(v >> 18) & 63];
    s += alfabeto[(v >> 12) & 63];
    s += alfabeto[(v >> 6) & 63];
    s += alfabeto[v & 63];
  }
  const std::size_t resto = bytes.size() - i;
  if (resto > 0) {
    uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (resto == 2) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    s += alfabeto[(v >> 18) & 63];
    s += alfabeto[(v >> 12) & 63];
    s += resto == 2 ? alfabeto[(v >> 6) & 63] : '=';
    s += '=';
  }
  return s;
}

TFormaConteudoBMP FormaConteudoBMP(std::string_view Conteudo) {
  const std::string t = Trim(Conteudo);
  if (t.empty()) return TFormaConteudoBMP::fcVazio;
  const std::size_t n = std::min<std::size_t>(10, t.size());
  bool binario = true;
  for (std::size_t i = 0; i < n; ++i)
    if (t[i] != '0' && t[i] != '1') binario = false;
  if (binario) return TFormaConteudoBMP::fcTextoBinario;
  if (EhTextoBase64(t)) return TFormaConteudoBMP::fcBase64;
  return TFormaConteudoBMP::fcArquivo;
}

}  // namespace bilhetor
