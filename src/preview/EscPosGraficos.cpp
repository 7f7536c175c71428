// Images and logos: the columns of ESC * inside the line, the rasters of
// GS v 0 and of the graphics buffer (GS ( L / GS 8 L), and the logos kept in
// the printer (GS ( L by key codes, FS p / FS q), drawn when these bytes
// stored them and as a box with their key codes otherwise.
#include <algorithm>

#include "common/Strings.h"
#include "preview/EscPosInterpretadorInterno.h"

namespace bilhetor::preview::escpos {

// ESC * m nL nH: a band of dot columns inside the line.
void TInterpretador::ImagemColunas(std::string_view p) {
  const uint8_t m = U8(p, 0);
  const std::size_t n = static_cast<std::size_t>(LE2(p, 1));
  if (m != 0 && m != 1 && m != 32 && m != 33) return Erro(Format("ESC *: modo %d desconhecido", m), Comando());
  const std::size_t porColuna = m >= 32 ? 3 : 1;
  const std::size_t k = n * porColuna;
  if (Resta() < k) {
    Erro(Format("ESC *: a imagem declara %zu colunas (%zu bytes) e s\xF3 h\xE1 %zu", n, k, Resta()), Comando());
    p_ = d_.size();
    return;
  }
  const std::string_view colunas = d_.substr(p_, k);
  p_ += k;
  if (n == 0) return;
  TBitmap b;
  b.largura = static_cast<int>(n);
  b.altura = static_cast<int>(porColuna * 8);
  b.escalaX = (m == 0 || m == 32) ? 2 : 1;
  b.escalaY = m < 32 ? 3 : 1;
  const std::size_t porLinha = (n + 7) / 8;
  b.raster.assign(porLinha * static_cast<std::size_t>(b.altura), '\0');
  for (std::size_t col = 0; col < n; ++col) {
    for (std::size_t linha = 0; linha < porColuna * 8; ++linha) {
      const auto byte = static_cast<uint8_t>(colunas[col * porColuna + linha / 8]);
      if (byte & (0x80 >> (linha % 8))) b.raster[linha * porLinha + col / 8] |= static_cast<char>(0x80 >> (col % 8));
    }
  }
  Atual().ImagemNaLinha(std::move(b));
}

// GS v 0 m xL xH yL yH: a raster printed at once.
void TInterpretador::RasterGsV(std::string_view p) {
  if (U8(p, 0) != '0') {
    p_ = inicio_ + 2;
    return Desconhecido("GS v", Comando());
  }
  if (!PrecisaMais(5, "GS v 0")) return;
  const std::string_view cabecalho = d_.substr(p_, 5);
  p_ += 5;
  const uint8_t modo = U8(cabecalho, 0);
  const int m = Digito(modo, 3);
  const int x = LE2(cabecalho, 1), y = LE2(cabecalho, 3);
  if (m < 0 || x == 0 || y == 0)
    return Erro(Format("GS v 0: par\xE2metros inv\xE1lidos (modo %d, %d bytes x %d linhas)", modo, x, y), Comando());
  const std::size_t k = static_cast<std::size_t>(x) * static_cast<std::size_t>(y);
  if (Resta() < k) {
    Erro(Format("GS v 0: a imagem de %d x %d pontos declara %zu bytes e s\xF3 h\xE1 %zu", x * 8, y, k, Resta()),
         Comando());
    p_ = d_.size();
    return;
  }
  TBitmap b = Raster(d_.substr(p_, k), x * 8, y, (m & 1) ? 2 : 1, (m & 2) ? 2 : 1);
  p_ += k;
  ImprimirBitmap(std::move(b), "raster");
}

// GS 8 L p1 p2 p3 p4: the functions of GS ( L with a 32-bit length.
void TInterpretador::Gs8(std::string_view p) {
  if (U8(p, 0) != 'L') {
    p_ = inicio_ + 2;
    return Desconhecido("GS 8", Comando());
  }
  if (!PrecisaMais(4, "GS 8 L")) return;
  const std::size_t n = static_cast<std::size_t>(Byte(0)) | (static_cast<std::size_t>(Byte(1)) << 8) |
                        (static_cast<std::size_t>(Byte(2)) << 16) | (static_cast<std::size_t>(Byte(3)) << 24);
  p_ += 4;
  if (Resta() < n) {
    Erro(Format("GS 8 L: o comando declara %zu bytes e s\xF3 h\xE1 %zu", n, Resta()), Comando());
    p_ = d_.size();
    return;
  }
  const std::string_view corpo = d_.substr(p_, n);
  p_ += n;
  Graficos("GS 8 L", corpo);
}

// A raster of `largura` x `altura` dots from the data, which must hold at
// least ceil(largura / 8) * altura bytes.
TBitmap TInterpretador::Raster(std::string_view dados, int largura, int altura, int escalaX, int escalaY) {
  TBitmap b;
  b.largura = largura;
  b.altura = altura;
  b.escalaX = escalaX;
  b.escalaY = escalaY;
  b.raster = std::string(dados.substr(0, static_cast<std::size_t>((largura + 7) / 8) * altura));
  return b;
}

// The body of GS ( L or GS 8 L: m fn and the function's parameters.
void TInterpretador::Graficos(const std::string& nome, std::string_view corpo) {
  if (corpo.size() < 2) return Erro(nome + ": sem fun\xE7\xE3o", Comando());
  const auto fn = static_cast<uint8_t>(corpo[1]);
  const std::string nomeFn = nome + Format(" fun\xE7\xE3o %d", fn);
  switch (fn) {
    case 48:  // NV memory capacity: a reply
    case 51:  // graphics buffer capacity: a reply
    case 64:  // key codes in use: a reply
      return;
    case 50: {  // print the graphics buffer
      if (!estado_.grafico) return Nota(nomeFn + ": buffer gr\xE1" "fico vazio (nada sai)");
      TBitmap b = std::move(*estado_.grafico);
      estado_.grafico.reset();
      ImprimirBitmap(std::move(b), "gr\xE1" "fico");
      return;
    }
    case 112: {  // store a raster in the graphics buffer
      if (corpo.size() < 10) return Erro(nomeFn + ": cabe\xE7" "alho cortado", Comando());
      const int a = static_cast<uint8_t>(corpo[2]);
      const int bx = static_cast<uint8_t>(corpo[3]), by = static_cast<uint8_t>(corpo[4]);
      const int cor = static_cast<uint8_t>(corpo[5]);
      const int x = LE2(corpo, 6), y = LE2(corpo, 8);
      if (a != 48 || (bx != 1 && bx != 2) || (by != 1 && by != 2) || cor < 49 || cor > 52 || x < 1 || y < 1)
        return Erro(nomeFn + Format(": par\xE2metros inv\xE1lidos (tom %d, escala %d x %d, cor %d, %d x %d pontos)",
                                    a, bx, by, cor, x, y),
                    Comando());
      const std::size_t k = static_cast<std::size_t>((x + 7) / 8) * static_cast<std::size_t>(y);
      const std::string_view dados = corpo.substr(10);
      if (dados.size() < k)
        return Erro(nomeFn + Format(": a imagem de %d x %d pontos precisa de %zu bytes e s\xF3 h\xE1 %zu", x, y, k,
                                    dados.size()),
                    {});
      if (dados.size() > k) Nota(nomeFn + Format(": %zu byte(s) a mais depois da imagem", dados.size() - k));
      if (cor == 49) estado_.grafico = Raster(dados, x, y, bx, by);
      return;
    }
    case 67: {  // define an NV graphic (raster) under two key codes
      if (corpo.size() < 11) return Erro(nomeFn + ": cabe\xE7" "alho cortado", Comando());
      const uint8_t kc1 = static_cast<uint8_t>(corpo[3]), kc2 = static_cast<uint8_t>(corpo[4]);
      const int cores = static_cast<uint8_t>(corpo[5]);
      const int x = LE2(corpo, 6), y = LE2(corpo, 8);
      if (x < 1 || y < 1 || cores < 1 || cores > 2)
        return Erro(nomeFn + Format(": par\xE2metros inv\xE1lidos (%d cores, %d x %d pontos)", cores, x, y), Comando());
      const std::size_t k = static_cast<std::size_t>((x + 7) / 8) * static_cast<std::size_t>(y);
      const std::string_view dados = corpo.substr(11);
      const std::size_t esperado = (k + 1) * static_cast<std::size_t>(cores) - 1;
      if (dados.size() < k)
        return Erro(nomeFn + Format(": o logo de %d x %d pontos precisa de %zu bytes e s\xF3 h\xE1 %zu", x, y, k,
                                    dados.size()),
                    {});
      logos_[{kc1, kc2}] = Raster(dados, x, y, 1, 1);
      Nota(nomeFn + Format(": logo %s gravado na impressora (%d x %d pontos)", ChaveLogo(kc1, kc2).c_str(), x, y));
      if (dados.size() > esperado)
        Nota(nomeFn + Format(": %zu byte(s) a mais depois do logo", dados.size() - esperado));
      return;
    }
    case 69: {  // print the NV graphic of two key codes
      if (corpo.size() < 6) return Erro(nomeFn + ": par\xE2metros cortados", Comando());
      const uint8_t kc1 = static_cast<uint8_t>(corpo[2]), kc2 = static_cast<uint8_t>(corpo[3]);
      const int ex = Digito(static_cast<uint8_t>(corpo[4]), 2), ey = Digito(static_cast<uint8_t>(corpo[5]), 2);
      if (ex < 1 || ey < 1) return Erro(nomeFn + ": escala inv\xE1lida", Comando());
      const auto salvo = logos_.find({kc1, kc2});
      if (salvo != logos_.end()) {
        TBitmap b = salvo->second;
        b.escalaX = ex;
        b.escalaY = ey;
        ImprimirBitmap(std::move(b), "logo " + ChaveLogo(kc1, kc2));
        return;
      }
      CaixaLogo("LOGO " + ChaveLogo(kc1, kc2) + Format(" x%d y%d", ex, ey), ex, ey);
      return;
    }
    case 65:
      return Nota(nomeFn + ": apaga todos os logos da impressora");
    case 66:
      if (corpo.size() < 4) return Erro(nomeFn + ": par\xE2metros cortados", Comando());
      return Nota(nomeFn + ": apaga o logo " +
                  ChaveLogo(static_cast<uint8_t>(corpo[2]), static_cast<uint8_t>(corpo[3])) + " da impressora");
    default:
      return Desconhecido(nomeFn, Comando());
  }
}

// FS p n m: logo n of those FS q stored, m its scale.
void TInterpretador::LogoLegado(std::string_view p) {
  const int n = U8(p, 0);
  const int m = Digito(U8(p, 1), 3);
  if (m < 0) return Erro("FS p: escala inv\xE1lida", Comando());
  const int ex = (m & 1) ? 2 : 1, ey = (m & 2) ? 2 : 1;
  if (n >= 1 && static_cast<std::size_t>(n) <= logosLegado_.size()) {
    TBitmap b = logosLegado_[static_cast<std::size_t>(n - 1)];
    b.escalaX = ex;
    b.escalaY = ey;
    return ImprimirBitmap(std::move(b), Format("logo %d", n));
  }
  return CaixaLogo(Format("LOGO %d (FS p) x%d y%d", n, ex, ey), ex, ey);
}

// FS q n, then for each image xL xH yL yH and (x * 8) columns of y bytes:
// an image (x * 8) dots wide and (y * 8) dots tall.
void TInterpretador::DefinirLogosLegado(std::string_view p) {
  const int n = U8(p, 0);
  std::vector<TBitmap> imagens;
  for (int i = 0; i < n; ++i) {
    if (!Precisa(4, "FS q")) return;
    const int x = Byte(0) | (Byte(1) << 8), y = Byte(2) | (Byte(3) << 8);
    if (x < 1 || x > 1023 || y < 1 || y > 288) {
      p_ += 4;
      return Erro(Format("FS q: imagem %d com tamanho inv\xE1lido (%d x %d)", i + 1, x, y), Comando());
    }
    const std::size_t k = static_cast<std::size_t>(x) * static_cast<std::size_t>(y) * 8;
    if (Resta() - 4 < k) {
      Erro(Format("FS q: a imagem %d de %d x %d pontos declara %zu bytes e s\xF3 h\xE1 %zu", i + 1, x * 8, y * 8, k,
                  Resta() - 4),
           d_.substr(p_, 4));
      p_ = d_.size();
      return;
    }
    const std::string_view colunas = d_.substr(p_ + 4, k);
    p_ += 4 + k;
    TBitmap b;
    b.largura = x * 8;
    b.altura = y * 8;
    const std::size_t porLinha = static_cast<std::size_t>(x);
    b.raster.assign(porLinha * static_cast<std::size_t>(b.altura), '\0');
    for (std::size_t col = 0; col < static_cast<std::size_t>(b.largura); ++col) {
      for (std::size_t linha = 0; linha < static_cast<std::size_t>(b.altura); ++linha) {
        const auto byte = static_cast<uint8_t>(colunas[col * static_cast<std::size_t>(y) + linha / 8]);
        if (byte & (0x80 >> (linha % 8))) b.raster[linha * porLinha + col / 8] |= static_cast<char>(0x80 >> (col % 8));
      }
    }
    imagens.push_back(std::move(b));
  }
  // FS q replaces every image the printer kept.
  logosLegado_ = std::move(imagens);
  Nota(Format("FS q: %d logo(s) gravado(s) na impressora", n));
}

// Key codes as the preview shows them: "  " (20 20).
std::string TInterpretador::ChaveLogo(uint8_t kc1, uint8_t kc2) {
  auto c = [](uint8_t k) { return k >= 0x20 && k < 0x7F ? static_cast<char>(k) : '?'; };
  return Format("\"%c%c\" (%02X %02X)", c(kc1), c(kc2), kc1, kc2);
}

// A logo the printer keeps and these bytes never showed: a box in its place.
void TInterpretador::CaixaLogo(const std::string& rotulo, int ex, int ey) {
  TComposicao& comp = Atual();
  const int largura = std::min(kLarguraLogo * ex, comp.LarguraRegiao());
  const int altura = kAlturaLogo * ey;
  const std::optional<int> x0 = comp.Bloco(largura, altura);
  if (!x0) return;
  TAnotacao a;
  a.tipo = TTipoAnotacao::Logo;
  a.area = TRetangulo{*x0, comp.Y(), largura, altura};
  a.texto = rotulo;
  comp.Folha().anotacoes.push_back(a);
  TObjeto o;
  o.tipo = TTipoObjeto::Logo;
  o.area = a.area;
  o.dados = rotulo;
  comp.Objeto(std::move(o));
  comp.AvancarBloco(altura);
}

// An image as a block of its own, cut to the line's area.
void TInterpretador::ImprimirBitmap(TBitmap b, const std::string& detalhe) {
  TComposicao& comp = Atual();
  if (b.LarguraImpressa() > comp.LarguraRegiao()) TComposicao::CortarLargura(b, comp.LarguraRegiao() / b.escalaX);
  if (b.largura <= 0) return;
  const int altura = b.AlturaImpressa();
  const std::optional<int> x0 = comp.Bloco(b.LarguraImpressa(), altura);
  if (!x0) return;
  b.x = *x0;
  b.y = comp.Y();
  TObjeto o;
  o.tipo = TTipoObjeto::Imagem;
  o.area = TRetangulo{b.x, b.y, b.LarguraImpressa(), altura};
  o.detalhe = detalhe + Format(" %d x %d pontos", b.largura, b.altura);
  comp.Objeto(std::move(o));
  comp.Bitmap(std::move(b));
  comp.AvancarBloco(altura);
}

}  // namespace bilhetor::preview::escpos
