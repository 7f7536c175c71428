// The picture: text attributes, images and annotations checked on its dots.
#include "preview/Desenho.h"

#include <gtest/gtest.h>

#include <string>

#include "PreviewTeste.h"
#include "preview/Preview.h"
#include "support/EscPosBytes.h"

namespace bilhetor::preview {
namespace {

using teste::Anotado;
using teste::CaixaDaTinta;
using teste::Retangulo;
using teste::Tinta;

const std::string ESC = "\x1B", GS = "\x1D";

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

// The picture of one line of text with the commands in front of it, and the
// band of paper that line takes (its line object).
struct Linha {
  TPreview p;
  QRect area;
};

Linha Desenhar(const std::string& comandos, const std::string& texto,
               const TOpcoesPreview& opcoes = TOpcoesPreview::Papel80mm()) {
  Linha l{RenderizarEscPos(comandos + texto + "\n", opcoes), {}};
  const auto linhas = teste::Objetos(l.p.folha, TTipoObjeto::Texto);
  if (!linhas.empty()) l.area = QRect(0, linhas[0].area.y, l.p.folha.largura, linhas[0].area.altura);
  return l;
}

TEST(Desenho, TheAttributesShowOnTheDots) {
  const Linha normal = Desenhar("", "ABCDEF");
  const QRect caixa = CaixaDaTinta(normal.p.imagem, normal.area);
  ASSERT_FALSE(caixa.isEmpty());
  EXPECT_GE(caixa.left(), 32);
  EXPECT_LE(caixa.right(), 32 + 6 * 12);

  // Emphasized text has more ink at the same place.
  const Linha negrito = Desenhar(ESC + "E" + B({1}), "ABCDEF");
  EXPECT_GT(Tinta(negrito.p.imagem, negrito.area), Tinta(normal.p.imagem, normal.area) * 5 / 4);
  EXPECT_EQ(CaixaDaTinta(negrito.p.imagem, negrito.area).left(), caixa.left());

  // Double width doubles the run, double height the height, 3 x 3 triples both.
  const QRect larga = CaixaDaTinta(Desenhar(GS + "!" + B({0x10}), "ABCDEF").p.imagem, QRect(0, 0, 640, 200));
  EXPECT_EQ(larga.width(), 2 * caixa.width());
  EXPECT_EQ(larga.height(), caixa.height());
  const QRect alta = CaixaDaTinta(Desenhar(ESC + "!" + B({0x10}), "ABCDEF").p.imagem, QRect(0, 0, 640, 200));
  EXPECT_EQ(alta.width(), caixa.width());
  EXPECT_EQ(alta.height(), 2 * caixa.height());
  const QRect tripla = CaixaDaTinta(Desenhar(GS + "!" + B({0x22}), "ABCDEF").p.imagem, QRect(0, 0, 640, 300));
  EXPECT_EQ(tripla.width(), 3 * caixa.width());
  EXPECT_EQ(tripla.height(), 3 * caixa.height());

  // Underline: one full row of ink under the whole run, two rows with ESC - 2.
  for (int espessura : {1, 2}) {
    const Linha s = Desenhar(ESC + "-" + B({espessura}), "ABCDEF");
    int linhasCheias = 0;
    for (int y = s.area.top(); y <= s.area.bottom(); ++y)
      linhasCheias += Tinta(s.p.imagem, QRect(32, y, 72, 1)) == 72;
    EXPECT_EQ(linhasCheias, espessura);
  }

  // Inverted: the cells are black with the letters left white.
  const Linha invertido = Desenhar(GS + "B" + B({1}), "ABCDEF");
  const int celulas = 72 * 24;
  const int tinta = Tinta(invertido.p.imagem, QRect(32, invertido.area.top(), 72, 24));
  EXPECT_GT(tinta, celulas * 3 / 4);
  EXPECT_EQ(tinta, celulas - Tinta(normal.p.imagem, QRect(32, normal.area.top(), 72, 24)));

  // Font B: 9-dot cells, shorter letters.
  const QRect fonteB = CaixaDaTinta(Desenhar(ESC + "M" + B({1}), "HHHHHHHHHH").p.imagem, QRect(0, 0, 640, 100));
  const QRect fonteA = CaixaDaTinta(Desenhar("", "HHHHHHHHHH").p.imagem, QRect(0, 0, 640, 100));
  EXPECT_GT(fonteA.width(), 9 * 12);
  EXPECT_LE(fonteA.width(), 10 * 12);
  EXPECT_GT(fonteB.width(), 9 * 9);
  EXPECT_LE(fonteB.width(), 10 * 9);
  EXPECT_LT(fonteB.height(), fonteA.height());
}

TEST(Desenho, ItalicLeansTheLettersRight) {
  // The centre of the ink of "l" in its top rows against its bottom rows.
  auto inclinacao = [](const Linha& l) {
    auto centro = [&](int y0, int y1) {
      long soma = 0, n = 0;
      for (int y = y0; y < y1; ++y)
        for (int x = 32; x < 32 + 12; ++x)
          if ((l.p.imagem.pixel(x, y) & 0xFFFFFF) == 0) {
            soma += x;
            ++n;
          }
      return n ? static_cast<double>(soma) / n : 0.0;
    };
    const int topo = l.area.top();
    return centro(topo + 2, topo + 9) - centro(topo + 12, topo + 19);
  };
  const double reto = inclinacao(Desenhar("", "|"));
  const double italico = inclinacao(Desenhar(ESC + "4", "|"));
  EXPECT_NEAR(reto, 0.0, 0.5);
  EXPECT_GT(italico, reto + 1.0);
}

TEST(Desenho, CentredAndRightAlignedLinesOnBothPapers) {
  for (const TOpcoesPreview& o : {TOpcoesPreview::Papel80mm(), TOpcoesPreview::Papel58mm()}) {
    const Linha centro = Desenhar(ESC + "a" + B({1}), "HHHH", o);
    const QRect c = CaixaDaTinta(centro.p.imagem, centro.area);
    const double meio = o.margem + o.larguraImpressao / 2.0;
    EXPECT_NEAR((c.left() + c.right() + 1) / 2.0, meio, 1.5) << o.larguraImpressao;
    const Linha direita = Desenhar(ESC + "a" + B({2}), "HHHH", o);
    const QRect d = CaixaDaTinta(direita.p.imagem, direita.area);
    EXPECT_NEAR(d.right(), o.margem + o.larguraImpressao - 1, 2) << o.larguraImpressao;
    EXPECT_EQ(centro.p.imagem.width(), o.larguraImpressao + 2 * o.margem);
  }
}

TEST(Desenho, RasterAndColumnImagesKeepEveryDot) {
  // 16 x 3 dots: a checkerboard of bytes AA 55, a full row, an empty one.
  const std::string dados = testing_bytes::H("AA 55 FF FF 00 00");
  struct Caso {
    const char* nome;
    std::string bytes;
    int escalaX, escalaY;
  };
  // The same picture as ESC * 33 columns: 16 columns of 3 bytes, top bit first.
  std::string colunas;
  for (int x = 0; x < 16; ++x) {
    int byte = 0;
    for (int y = 0; y < 3; ++y) {
      const int bit = (static_cast<uint8_t>(dados[y * 2 + x / 8]) >> (7 - x % 8)) & 1;
      byte |= bit << (7 - y);
    }
    colunas += B({byte, 0, 0});
  }
  const Caso casos[] = {
      {"GS v 0 normal", GS + "v0" + B({0, 2, 0, 3, 0}) + dados, 1, 1},
      {"GS v 0 double width", GS + "v0" + B({1, 2, 0, 3, 0}) + dados, 2, 1},
      {"GS v 0 quadruple", GS + "v0" + B({3, 2, 0, 3, 0}) + dados, 2, 2},
      {"graphics buffer", GS + "8L" + B({16, 0, 0, 0, 48, 112, 48, 1, 1, 49, 16, 0, 3, 0}) + dados + GS + "(L" +
                              B({2, 0, 48, 50}),
       1, 1},
      {"ESC * 33", ESC + "*" + B({33, 16, 0}) + colunas + "\n", 1, 1},
  };
  for (const Caso& c : casos) {
    const TPreview p = RenderizarEscPos(c.bytes);
    ASSERT_EQ(p.folha.bitmaps.size(), 1u) << c.nome;
    const TBitmap& b = p.folha.bitmaps[0];
    EXPECT_TRUE(p.folha.avisos.empty()) << c.nome;
    for (int y = 0; y < 3 * c.escalaY; ++y)
      for (int x = 0; x < 16 * c.escalaX; ++x) {
        const int sx = x / c.escalaX, sy = y / c.escalaY;
        const bool ponto = (static_cast<uint8_t>(dados[sy * 2 + sx / 8]) >> (7 - sx % 8)) & 1;
        ASSERT_EQ((p.imagem.pixel(b.x + x, b.y + y) & 0xFFFFFF) == 0, ponto) << c.nome << " at " << x << "," << y;
      }
  }
}

TEST(Desenho, AnnotationsAreColouredNeverInk) {
  const std::string bytes = B({0x01}) + "\n" + ESC + "p" + B({0, 25, 250}) + GS + "(L" +
                            B({6, 0, 48, 69, 32, 32, 1, 1}) + GS + "V" + B({0}) + GS + "V" + B({1});
  const TPreview p = RenderizarEscPos(bytes);
  ASSERT_EQ(p.folha.anotacoes.size(), 5u);
  for (const TAnotacao& a : p.folha.anotacoes) {
    EXPECT_GT(Anotado(p.imagem, Retangulo(a.area)), 0) << a.texto;
    EXPECT_EQ(Tinta(p.imagem, Retangulo(a.area)), 0) << a.texto;
  }
  // The PNG holds the same picture with its palette.
  const std::string png = CodificarPng(p.imagem);
  QImage lida;
  ASSERT_TRUE(lida.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG"));
  EXPECT_EQ(lida.format(), QImage::Format_Indexed8);
  EXPECT_EQ(lida.convertToFormat(QImage::Format_RGB32), p.imagem);
}

}  // namespace
}  // namespace bilhetor::preview
