// The interpreter of the receipt preview: where the bytes put each character,
// line, code and mark on the paper, and how it shows what it cannot print.
#include "preview/EscPosInterpretador.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/EscPosBytes.h"

namespace bilhetor::preview {
namespace {

using testing_bytes::H;

const std::string ESC = "\x1B", GS = "\x1D", FS = "\x1C", DLE = "\x10", LF = "\n";

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

// The characters of the glyphs at the paper line y, left to right.
std::u32string TextoNaLinha(const TFolha& f, int y) {
  std::u32string s;
  for (const TGlifo& g : f.glifos)
    if (g.y == y) s.push_back(g.codigo);
  return s;
}

std::vector<int> LinhasDeBase(const TFolha& f) {
  std::vector<int> r;
  for (const TGlifo& g : f.glifos) {
    const int base = g.y + g.estilo.AlturaCelula();
    if (r.empty() || r.back() != base) r.push_back(base);
  }
  return r;
}

int Anotacoes(const TFolha& f, TTipoAnotacao tipo) {
  int n = 0;
  for (const TAnotacao& a : f.anotacoes) n += a.tipo == tipo;
  return n;
}

bool AlgumAviso(const TFolha& f, const std::string& trecho) {
  for (const std::string& a : f.avisos)
    if (a.find(trecho) != std::string::npos) return true;
  return false;
}

const TOpcoesPreview k80 = TOpcoesPreview::Papel80mm();
const TOpcoesPreview k58 = TOpcoesPreview::Papel58mm();

TEST(Interpretador, LinesFeedTheLineSpacingOrTheirHeightWhenTaller) {
  struct Caso {
    const char* nome;
    std::string bytes;
    std::vector<int> bases;  // the bottom of each printed line, after the first
  };
  const Caso casos[] = {
      {"default spacing", "A\nB\nC\n", {30, 30}},
      {"ESC 3 60", ESC + "3" + B({60}) + "A\nB\n", {60}},
      {"ESC 3 10 is less than the font", ESC + "3" + B({10}) + "A\nB\n", {24}},
      {"ESC 2 restores", ESC + "3" + B({60}) + ESC + "2" + "A\nB\n", {30}},
      {"an empty line feeds the spacing", "A\n\nB\n", {60}},
      {"double height line", GS + "!" + B({0x01}) + "A\n" + GS + "!" + B({0}) + "B\n", {24}},
      {"ESC J 100 after a line", "A" + ESC + "J" + B({100}) + "B\n", {100}},
      {"ESC d 3", "A" + ESC + "d" + B({3}) + "B\n", {90}},
  };
  for (const Caso& c : casos) {
    const TFolha f = InterpretarEscPos(c.bytes);
    const std::vector<int> bases = LinhasDeBase(f);
    ASSERT_EQ(bases.size(), c.bases.size() + 1) << c.nome;
    for (std::size_t i = 0; i < c.bases.size(); ++i) EXPECT_EQ(bases[i + 1] - bases[i], c.bases[i]) << c.nome;
    EXPECT_TRUE(f.avisos.empty()) << c.nome << ": " << f.avisos.front();
  }
}

TEST(Interpretador, ColumnsWrapAtThePaperWidth) {
  for (const auto& [opcoes, colunas, colunasB] :
       {std::tuple{k80, 48, 64}, std::tuple{k58, 32, 42}}) {
    const TFolha a = InterpretarEscPos(std::string(colunas + 1, 'x') + LF, opcoes);
    ASSERT_EQ(a.glifos.size(), static_cast<std::size_t>(colunas + 1));
    EXPECT_EQ(a.glifos[colunas - 1].y, a.glifos[0].y) << colunas;
    EXPECT_GT(a.glifos[colunas].y, a.glifos[0].y) << "character " << colunas + 1 << " wraps";
    EXPECT_EQ(a.glifos[colunas].x, opcoes.margem);
    EXPECT_EQ(a.glifos[colunas - 1].x, opcoes.margem + (colunas - 1) * kLarguraFonteA);
    // Font B (condensed) fits more.
    const TFolha b = InterpretarEscPos(ESC + "M" + B({1}) + std::string(colunasB, 'x') + LF, opcoes);
    EXPECT_EQ(LinhasDeBase(b).size(), 1u) << colunasB;
    const TFolha c = InterpretarEscPos(B({0x0F}) + std::string(colunasB + 1, 'x') + LF, opcoes);
    EXPECT_EQ(LinhasDeBase(c).size(), 2u) << "SI is condensed";
  }
  // GS W narrows the line, GS L moves it.
  const TFolha w = InterpretarEscPos(GS + "L" + B({24, 0}) + GS + "W" + B({120, 0}) + "0123456789AB\n");
  EXPECT_EQ(w.glifos[0].x, k80.margem + 24);
  EXPECT_EQ(LinhasDeBase(w).size(), 2u) << "10 characters of 12 dots fill 120 dots";
  // HT goes to the next multiple of 8 characters.
  const TFolha t = InterpretarEscPos("A\tB\n");
  EXPECT_EQ(t.glifos[1].x - t.glifos[0].x, 8 * kLarguraFonteA);
}

TEST(Interpretador, AlignmentAppliesFromTheStartOfALine) {
  const TFolha centro = InterpretarEscPos(ESC + "a" + B({1}) + "ABCD\n");
  EXPECT_EQ(centro.glifos[0].x, k80.margem + (576 - 48) / 2);
  const TFolha direita = InterpretarEscPos(ESC + "a2ABCD\n");  // ASCII digit form
  EXPECT_EQ(direita.glifos[3].x + direita.glifos[3].largura, k80.margem + 576);
  // In the middle of a line ESC a is ignored, with a note.
  const TFolha meio = InterpretarEscPos("AB" + ESC + "a" + B({1}) + "CD\nEF\n");
  EXPECT_EQ(meio.glifos[0].x, k80.margem);
  EXPECT_EQ(meio.glifos[4].x, k80.margem);
  EXPECT_TRUE(AlgumAviso(meio, "meio da linha"));
}

TEST(Interpretador, FontCommandsSetTheStyleOfTheFollowingCharacters) {
  struct Caso {
    const char* nome;
    std::string comandos;
    TEstiloTexto esperado;
  };
  auto estilo = [](auto ajustar) {
    TEstiloTexto e;
    ajustar(e);
    return e;
  };
  const Caso casos[] = {
      {"ESC ! 08 bold", ESC + "!" + B({0x08}), estilo([](TEstiloTexto& e) { e.negrito = true; })},
      {"ESC ! B9 all of it", ESC + "!" + B({0xB9}), estilo([](TEstiloTexto& e) {
         e.fonteB = e.negrito = true;
         e.escalaX = e.escalaY = 2;
         e.sublinhado = 1;
       })},
      {"ESC E 1", ESC + "E" + B({1}), estilo([](TEstiloTexto& e) { e.negrito = true; })},
      {"ESC G 1", ESC + "G" + B({1}), estilo([](TEstiloTexto& e) { e.negrito = true; })},
      {"ESC - 2", ESC + "-" + B({2}), estilo([](TEstiloTexto& e) { e.sublinhado = 2; })},
      {"ESC M 1", ESC + "M" + B({1}), estilo([](TEstiloTexto& e) { e.fonteB = true; })},
      {"SI then DC2", B({0x0F, 0x12}), TEstiloTexto()},
      {"ESC 4", ESC + "4", estilo([](TEstiloTexto& e) { e.italico = true; })},
      {"ESC 4 ESC 5", ESC + "4" + ESC + "5", TEstiloTexto()},
      {"GS B 1", GS + "B" + B({1}), estilo([](TEstiloTexto& e) { e.invertido = true; })},
      {"GS ! 73", GS + "!" + B({0x73}), estilo([](TEstiloTexto& e) {
         e.escalaX = 8;
         e.escalaY = 4;
       })},
      {"ESC ! keeps inverted and italic", GS + "B" + B({1}) + ESC + "4" + ESC + "!" + B({0x20}),
       estilo([](TEstiloTexto& e) {
         e.invertido = e.italico = true;
         e.escalaX = 2;
       })},
      {"ESC @ resets", ESC + "!" + B({0xB9}) + GS + "B" + B({1}) + ESC + "@", TEstiloTexto()},
  };
  for (const Caso& c : casos) {
    const TFolha f = InterpretarEscPos(c.comandos + "x\n");
    ASSERT_EQ(f.glifos.size(), 1u) << c.nome;
    EXPECT_EQ(f.glifos[0].estilo, c.esperado) << c.nome;
  }
  // Characters of one line stand on its bottom.
  const TFolha f = InterpretarEscPos("a" + GS + "!" + B({0x11}) + "b\n");
  EXPECT_EQ(f.glifos[0].y + 24, f.glifos[1].y + 48);
}

TEST(Interpretador, TextIsShownAsTheSelectedCodeTableMapsIt) {
  struct Caso {
    std::string tabela;
    char32_t c6;  // what byte C6 prints as
  };
  const Caso casos[] = {
      {"", U'\u255E'},                           // PC437 after ESC @: a box drawing piece
      {ESC + "t" + B({2}), U'\u00E3'},           // PC850: ã
      {ESC + "t" + B({16}), U'\u00C6'},          // WPC1252: Æ
      {ESC + "t" + B({18}), U'\u0102'},          // PC852: Ă
      {ESC + "t" + B({3}), U'\u255E'},           // PC860
  };
  for (const Caso& c : casos) {
    const TFolha f = InterpretarEscPos(c.tabela + "A\xC6\n");
    ASSERT_EQ(f.glifos.size(), 2u);
    EXPECT_EQ(f.glifos[1].codigo, c.c6) << testing_bytes::Hex(c.tabela);
  }
  const TFolha desconhecida = InterpretarEscPos(ESC + "t" + B({99}) + "\xC6\n");
  EXPECT_EQ(desconhecida.glifos[0].codigo, U'\u255E') << "an unknown table keeps the current one";
  EXPECT_EQ(Anotacoes(desconhecida, TTipoAnotacao::Erro), 1);
}

TEST(Interpretador, UnknownBytesAndCommandsBecomeBandsAndTheRestPrints) {
  struct Caso {
    const char* nome;
    std::string bytes;
    std::string aviso;
  };
  const Caso casos[] = {
      {"control bytes make one band", B({0x01, 0x02, 0x03}) + "ok\n", "01 02 03"},
      {"unknown ESC", ESC + "z" + "ok\n", "ESC z desconhecido: 1B 7A"},
      {"unknown GS", GS + "Z" + "ok\n", "GS Z desconhecido: 1D 5A"},
      {"unknown GS ( skips its length", GS + "(E" + B({2, 0, 1, 2}) + "ok\n", "GS ( E desconhecido: 1D 28 45 02 00 01 02"},
      {"unknown FS", FS + "." + "ok\n", "FS . desconhecido"},
      {"2D symbol other than QR", GS + "(k" + B({3, 0, 48, 65, 0}) + "ok\n", "s\xEDmbolo 2D 48"},
      {"barcode symbology the printer lacks", GS + "k" + B({0x52, 2}) + "12ok\n", "simbologia 82"},
      {"CODE 128 without its code set", GS + "k" + B({73, 3}) + "abcok\n", "{A, {B ou {C"},
  };
  for (const Caso& c : casos) {
    const TFolha f = InterpretarEscPos(c.bytes);
    ASSERT_EQ(f.avisos.size(), 1u) << c.nome;
    EXPECT_NE(f.avisos[0].find(c.aviso), std::string::npos) << c.nome << ": " << f.avisos[0];
    EXPECT_EQ(f.anotacoes.size(), 1u) << c.nome;
    EXPECT_EQ(TextoNaLinha(f, f.glifos.empty() ? -1 : f.glifos[0].y), U"ok") << c.nome;
    EXPECT_GE(f.glifos[0].y, f.anotacoes[0].area.Base()) << c.nome << ": the band comes first";
  }
}

// Every command of the interpreter's ESC, GS and FS tables takes exactly its
// parameter bytes: the text after it prints whole and nothing becomes a band
// of unknown bytes or an error.
TEST(Interpretador, EveryCommandOfTheTablesTakesExactlyItsParameters) {
  const std::string comandos[] = {
      ESC + "@", ESC + "2", ESC + "3" + B({40}), ESC + " " + B({0}), ESC + "!" + B({0}), ESC + "E" + B({0}),
      ESC + "G" + B({0}), ESC + "-" + B({0}), ESC + "M" + B({0}), ESC + "4", ESC + "5", ESC + "a" + B({0}),
      ESC + "t" + B({0}), ESC + "J" + B({10}), ESC + "d" + B({1}), ESC + "$" + B({0, 0}), ESC + "\\" + B({0, 0}),
      ESC + "{" + B({0}), ESC + "V" + B({0}), ESC + "R" + B({0}), ESC + "L" + ESC + "S", ESC + "T" + B({0}),
      ESC + "W" + B({0, 0, 0, 0, 64, 0, 64, 0}), ESC + B({0x0C}), ESC + "*" + B({0, 0, 0}), ESC + "i", ESC + "m",
      ESC + "p" + B({0, 1, 1}), ESC + "(A" + B({0, 0}), ESC + "c3" + B({0}), ESC + "=" + B({1}),
      ESC + "U" + B({0}), ESC + "r" + B({0}),
      GS + "!" + B({0}), GS + "B" + B({0}), GS + "L" + B({0, 0}), GS + "W" + B({0x40, 0x02}), GS + "$" + B({0, 0}),
      GS + "P" + B({0, 0}), GS + "k" + B({4}) + "12" + B({0}), GS + "w" + B({2}), GS + "h" + B({50}),
      GS + "H" + B({0}), GS + "f" + B({0}), GS + "(k" + B({3, 0, 49, 67, 3}), GS + "8L" + B({2, 0, 0, 0, 48, 48}),
      GS + "v0" + B({0, 1, 0, 1, 0, 0xFF}), GS + "V" + B({1}), GS + "V" + B({66, 0}), GS + "I" + B({1}),
      GS + "r" + B({1}), GS + "a" + B({0}), GS + "b" + B({0}),
      FS + "p" + B({1, 0}), FS + "q" + B({0}),
  };
  for (const std::string& c : comandos) {
    const TFolha f = InterpretarEscPos(c + "ok\n");
    EXPECT_EQ(Anotacoes(f, TTipoAnotacao::Desconhecido), 0) << testing_bytes::Hex(c);
    EXPECT_EQ(Anotacoes(f, TTipoAnotacao::Erro), 0) << testing_bytes::Hex(c);
    std::vector<std::string> textos;
    for (const TObjeto& o : f.objetos)
      if (o.tipo == TTipoObjeto::Texto) textos.push_back(o.dados);
    EXPECT_EQ(textos, std::vector<std::string>{"ok"}) << testing_bytes::Hex(c);
  }
}

TEST(Interpretador, CommandsCutShortEndWithAnErrorBand) {
  const std::string casos[] = {
      ESC,
      ESC + "!",
      ESC + "*" + B({33, 10, 0}) + "abc",
      GS + "k" + B({69, 10}) + "ABC",
      GS + "k" + B({4}) + "NO-NUL",
      GS + "(k" + B({20, 0, 49, 80, 48}) + "abc",
      GS + "v0" + B({0, 2, 0}),
      GS + "v0" + B({0, 2, 0, 2, 0}) + "abc",
      GS + "8L" + B({0xFF, 0xFF, 0xFF, 0xFF, 48, 112}),
      FS + "q" + B({1, 2, 0}),
      ESC + "p" + B({0, 25}),
      DLE + B({0x14, 1}),
  };
  for (const std::string& c : casos) {
    const TFolha f = InterpretarEscPos("antes\n" + c);
    ASSERT_EQ(f.avisos.size(), 1u) << testing_bytes::Hex(c);
    EXPECT_EQ(f.anotacoes.size(), 1u) << testing_bytes::Hex(c);
    EXPECT_EQ(f.anotacoes[0].tipo, TTipoAnotacao::Erro) << f.avisos[0];
    EXPECT_EQ(f.glifos.size(), 5u) << "only the line before prints: " << f.avisos[0];
  }
}

TEST(Interpretador, AbsurdSizesNeverAllocateBeyondTheInput) {
  // A raster claiming far more data than there is.
  const TFolha raster = InterpretarEscPos(GS + "v0" + B({0, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(10, '\xFF'));
  ASSERT_EQ(raster.avisos.size(), 1u);
  EXPECT_NE(raster.avisos[0].find("declara 4294836225 bytes e s\xF3 h\xE1 10"), std::string::npos) << raster.avisos[0];
  EXPECT_TRUE(raster.bitmaps.empty());
  // Graphics data longer than the paper is wide is cut at the printable area.
  const std::string larga = GS + "v0" + B({0, 200, 0, 2, 0}) + std::string(400, '\xFF');
  const TFolha cortada = InterpretarEscPos(larga);
  ASSERT_EQ(cortada.bitmaps.size(), 1u);
  EXPECT_EQ(cortada.bitmaps[0].LarguraImpressa(), 576);
  EXPECT_EQ(cortada.bitmaps[0].raster.size(), 72u * 2);
  // A paper longer than allowed stops at the limit.
  TOpcoesPreview curta = k80;
  curta.alturaMaxima = 2000;
  const TFolha longa = InterpretarEscPos(std::string(100000, '\n') + "fim\n", curta);
  EXPECT_TRUE(longa.truncada);
  EXPECT_LE(longa.altura, 2000 + 32);
  EXPECT_TRUE(longa.glifos.empty());
  // A megabyte of unknown bytes is one band.
  const TFolha lixo = InterpretarEscPos(std::string(1 << 20, '\x01'));
  EXPECT_EQ(lixo.anotacoes.size(), 1u);
  EXPECT_NE(lixo.avisos[0].find("(1048576 bytes)"), std::string::npos);
  // Codes too wide for the paper are not printed.
  const TFolha qr = InterpretarEscPos(GS + "(k" + B({3, 0, 49, 67, 16}) + GS + "(k" + B({203, 0, 49, 80, 48}) +
                                      std::string(200, 'Q') + GS + "(k" + B({3, 0, 49, 81, 48}));
  EXPECT_TRUE(qr.tinta.empty());
  EXPECT_NE(qr.avisos.at(0).find("n\xE3o cabe"), std::string::npos);
  const TFolha barras = InterpretarEscPos(GS + "w" + B({6}) + GS + "k" + B({73, 42}) + "{B" + std::string(40, 'x'));
  EXPECT_TRUE(barras.tinta.empty());
  EXPECT_NE(barras.avisos.at(0).find("n\xE3o cabe"), std::string::npos);
}

TEST(Interpretador, BarcodeSettingsScaleTheBarsAndPlaceTheText) {
  const std::string ean = GS + "k" + B({67, 12}) + "789123456789";
  struct Caso {
    std::string ajuste;
    int modulo, altura;
    bool acima, abaixo;
  };
  const Caso casos[] = {
      {"", 3, 162, false, false},
      {GS + "w" + B({2}) + GS + "h" + B({50}) + GS + "H" + B({2}), 2, 50, false, true},
      {GS + "w" + B({4}) + GS + "h" + B({80}) + GS + "H" + B({1}), 4, 80, true, false},
      {GS + "w" + B({1}) + GS + "h" + B({255}) + GS + "H3", 1, 255, true, true},
  };
  for (const Caso& c : casos) {
    const TFolha f = InterpretarEscPos(c.ajuste + ean);
    ASSERT_EQ(f.objetos.size(), 1u);
    const TObjeto& o = f.objetos[0];
    EXPECT_EQ(o.tipo, TTipoObjeto::Barras);
    EXPECT_EQ(o.dados, "789123456789");
    EXPECT_EQ(o.area.largura, 95 * c.modulo) << "EAN-13 has 95 modules";
    EXPECT_EQ(o.area.altura, c.altura);
    for (const TRetangulo& r : f.tinta) {
      EXPECT_EQ(r.largura % c.modulo, 0);
      EXPECT_EQ(r.altura, c.altura);
    }
    int acima = 0, abaixo = 0;
    std::u32string texto;
    for (const TGlifo& g : f.glifos) {
      (g.y < o.area.y ? acima : abaixo)++;
      if (g.y > o.area.y) texto.push_back(g.codigo);
    }
    EXPECT_EQ(acima, c.acima ? 13 : 0);
    EXPECT_EQ(abaixo, c.abaixo ? 13 : 0);
    if (c.abaixo) {
      EXPECT_EQ(texto, U"7891234567895") << "with the check digit";
    }
  }
}

TEST(Interpretador, MarksInTheMarginCutsAndLogos) {
  const std::string bytes = "a\n" + ESC + "p" + B({0, 25, 250}) + ESC + "p" + B({1, 25, 250}) +
                            DLE + B({0x14, 1, 0, 3}) + ESC + "(A" + B({5, 0, 97, 100, 1, 50, 50}) + GS + "V" +
                            B({0}) + GS + "V" + B({1}) + GS + "V" + B({66, 40}) + ESC + "i" + GS + "(L" +
                            B({6, 0, 48, 69, 'A', 'B', 1, 1}) + FS + "p" + B({1, 0});
  const TFolha f = InterpretarEscPos(bytes);
  EXPECT_TRUE(f.avisos.empty());
  std::vector<std::string> marcas, cortes, logos;
  for (const TObjeto& o : f.objetos) {
    if (o.tipo == TTipoObjeto::Gaveta || o.tipo == TTipoObjeto::Bip) {
      marcas.push_back(o.detalhe.substr(0, o.detalhe.find(':')));
      EXPECT_LT(o.area.Direita(), f.margem) << "in the left margin";
    }
    if (o.tipo == TTipoObjeto::Corte) cortes.push_back(o.detalhe);
    if (o.tipo == TTipoObjeto::Logo) logos.push_back(o.dados);
  }
  EXPECT_EQ(marcas, (std::vector<std::string>{"gaveta 1 (pino 2)", "gaveta 2 (pino 5)", "gaveta 1 (pino 2, DLE DC4)",
                                              "bip (1B 28 41 05 00 61 64 01 32 32)"}));
  EXPECT_EQ(cortes, (std::vector<std::string>{"corte total", "corte parcial", "corte parcial", "corte parcial"}));
  EXPECT_EQ(logos, (std::vector<std::string>{"LOGO \"AB\" (41 42) x1 y1", "LOGO 1 (FS p) x1 y1"}));
  // GS V 66 40 feeds 40 dots before cutting.
  std::vector<int> y;
  for (const TAnotacao& a : f.anotacoes)
    if (a.tipo == TTipoAnotacao::CorteParcial) y.push_back(a.area.y);
  ASSERT_EQ(y.size(), 3u);
  EXPECT_EQ(y[1] - y[0], 16 + 40);
  // Marks that follow each other do not overlap.
  std::vector<TRetangulo> m;
  for (const TAnotacao& a : f.anotacoes)
    if (a.tipo == TTipoAnotacao::Gaveta || a.tipo == TTipoAnotacao::Bip) m.push_back(a.area);
  for (std::size_t i = 1; i < m.size(); ++i) EXPECT_GE(m[i].y, m[i - 1].Base());
}

TEST(Interpretador, ALogoStoredByTheSameBytesIsDrawnWhenPrinted) {
  // GS 8 L fn 67: an 8 x 2 logo under "AB", then GS ( L fn 69 prints it.
  const std::string define = GS + "8L" + B({13, 0, 0, 0, 48, 67, 48, 'A', 'B', 1, 8, 0, 2, 0, 49, 0xF0, 0x0F});
  const TFolha f = InterpretarEscPos(define + GS + "(L" + B({6, 0, 48, 69, 'A', 'B', 2, 1}));
  ASSERT_EQ(f.bitmaps.size(), 1u);
  EXPECT_EQ(f.bitmaps[0].raster, H("F0 0F"));
  EXPECT_EQ(f.bitmaps[0].LarguraImpressa(), 16);
  EXPECT_TRUE(AlgumAviso(f, "logo \"AB\" (41 42) gravado na impressora (8 x 2 pontos)"));
  // FS q: one image 1 x 1 (8 x 8 dots), columns of one byte; FS p 1 prints it.
  std::string colunas = B({0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01});
  const TFolha legado = InterpretarEscPos(FS + "q" + B({1, 1, 0, 1, 0}) + colunas + FS + "p" + B({1, 0}));
  ASSERT_EQ(legado.bitmaps.size(), 1u);
  EXPECT_EQ(legado.bitmaps[0].raster, H("80 40 20 10 08 04 02 01")) << "the diagonal, row by row";
}

TEST(Interpretador, PageModeTurnsThePageAndPrintsItAtFormFeed) {
  const std::string area = ESC + "W" + B({0, 0, 0, 0, 200, 0, 100, 0});
  const TFolha f = InterpretarEscPos(ESC + "L" + area + ESC + "T" + B({1}) + "ABC" + B({0x0C}) + "depois\n");
  ASSERT_EQ(f.paginas.size(), 1u);
  const TPaginaImpressa& p = f.paginas[0];
  EXPECT_EQ(p.direcao, 1);
  EXPECT_EQ(p.area, (TRetangulo{k80.margem, 16, 200, 100}));
  ASSERT_TRUE(p.conteudo);
  EXPECT_EQ(p.conteudo->largura, 100) << "lines run along the area's height";
  EXPECT_EQ(TextoNaLinha(*p.conteudo, 0), U"ABC");
  EXPECT_GE(f.glifos.at(0).y, p.area.Base()) << "standard mode goes on below the page";
  // ESC S leaves page mode and drops the page; so does the end of the data.
  const TFolha descartada = InterpretarEscPos(ESC + "L" + "x" + ESC + "S" + "y\n");
  EXPECT_TRUE(descartada.paginas.empty());
  EXPECT_EQ(descartada.glifos.size(), 1u);
  EXPECT_TRUE(AlgumAviso(InterpretarEscPos(ESC + "L" + "x"), "p\xE1gina n\xE3o foi impressa"));
}

TEST(Interpretador, ResetAndTheEndOfTheDataTellWhatNeverPrinted) {
  const TFolha reset = InterpretarEscPos("perdido" + ESC + "@" + "ok\n");
  EXPECT_TRUE(AlgumAviso(reset, "ESC @ apagou 7 caractere(s)"));
  EXPECT_EQ(TextoNaLinha(reset, reset.glifos.at(0).y), U"ok");
  const TFolha fim = InterpretarEscPos("linha\nsem fim");
  EXPECT_EQ(fim.glifos.size(), 5u);
  EXPECT_TRUE(AlgumAviso(fim, "\"sem fim\" sem LF no fim"));
}

}  // namespace
}  // namespace bilhetor::preview
