#include "posprinter/CodePage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace bilhetor {
namespace {

std::string Bytes(std::initializer_list<unsigned char> b) { return std::string(b.begin(), b.end()); }

TEST(CodePage, WindowsCodePageOfEachPrinterPage) {
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pcNone), 0);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc437), 437);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc850), 850);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc852), 852);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc860), 860);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pcUTF8), 65001);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc1252), 1252);
  EXPECT_THROW(CodigoPaginaWindows(static_cast<TPosPaginaCodigo>(7)), EPosPrinterException);
}

TEST(CodePage, TextoParaAsciiFoldsLettersAndBlanksControls) {
  EXPECT_EQ(TextoParaAscii("A\xE7\xE3o"), "Acao");
  EXPECT_EQ(TextoParaAscii("a\tb\x1B" "c"), "a b c");
  EXPECT_EQ(TextoParaAscii("l1\r\nl2\b"), "l1\r\nl2\b");
  EXPECT_EQ(TextoParaAscii("\xD8\xDF\xF8\xD7\xF7\xDE\xFE"), "0B0x/bb");
  EXPECT_EQ(TextoParaAscii("\xC0\xC6\xC7\xCB\xCF\xD0\xD1\xD6\xDC\xDD"), "AACEIDNOUY");
  EXPECT_EQ(TextoParaAscii("\xE0\xE6\xE7\xEB\xEF\xF0\xF1\xF2\xF6\xFC\xFD\xFF"), "aaceiono" "ouyy");
  EXPECT_EQ(TextoParaAscii(std::string("\0x", 2)), " x");
  EXPECT_EQ(TextoParaAscii(""), "");
}

TEST(CodePage, TextoParaAsciiLeavesOnlyPrintableAscii) {
  for (int b = 0; b < 256; ++b) {
    const std::string r = TextoParaAscii(std::string(1, static_cast<char>(b)));
    ASSERT_EQ(r.size(), 1u);
    const auto c = static_cast<unsigned char>(r[0]);
    EXPECT_TRUE(c == 0x08 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0x7E)) << b;
    if (b >= 0x20 && b <= 0x7E) {
      EXPECT_EQ(c, b);
    }
    // 7F to BF are not letters: all become blanks.
    if (b >= 0x7F && b <= 0xBF) {
      EXPECT_EQ(c, ' ') << b;
    }
    if (b >= 0xC0) {
      EXPECT_NE(c, ' ') << b;
    }
  }
}

TEST(CodePage, ConversionExamples) {
  EXPECT_EQ(CodificarPaginaDeCodigo("caf\xE9", TPosPaginaCodigo::pc850), "caf\x82");
  EXPECT_EQ(CodificarPaginaDeCodigo("caf\xE9", TPosPaginaCodigo::pcUTF8), "caf\xC3\xA9");
  EXPECT_EQ(CodificarPaginaDeCodigo("A\xE7\xE3o\t", TPosPaginaCodigo::pcNone), "Acao ");
  std::string todos;
  for (int b = 0; b < 256; ++b) todos += static_cast<char>(b);
  EXPECT_EQ(CodificarPaginaDeCodigo(todos, TPosPaginaCodigo::pc1252), todos);
  // Escape sequences of the printer pass every page unchanged.
  const std::string esc = Bytes({0x1B, 0x40, 0x1D, 0x56, 0x00, 0x0A});
  for (int p : {437, 850, 852, 860, 1252, 65001}) EXPECT_EQ(ConverterPaginaDeCodigo(esc, p), esc) << p;
  // Euro sign: three UTF-8 bytes, also as the last character of a text.
  EXPECT_EQ(ConverterPaginaDeCodigo("\x80", 65001), "\xE2\x82\xAC");
  EXPECT_EQ(ConverterPaginaDeCodigo("x\x80\x80", 65001), "x\xE2\x82\xAC\xE2\x82\xAC");
  // Not in code page 437: the replacement character.
  EXPECT_EQ(ConverterPaginaDeCodigo("\x80\xC3", 437), "??");
  EXPECT_EQ(ConverterPaginaDeCodigo("\xC3", 850), "\xC7");
  EXPECT_EQ(ConverterPaginaDeCodigo("\xC3\xE3", 860), "\x8E\x84");
}

TEST(CodePage, UnknownPageIsAnError) {
  EXPECT_TRUE(PaginaDeCodigoSuportada(850));
  EXPECT_FALSE(PaginaDeCodigoSuportada(0));
  EXPECT_FALSE(PaginaDeCodigoSuportada(866));
  EXPECT_THROW(ConverterPaginaDeCodigo("x", 866), EPosPrinterException);
  EXPECT_THROW(ConverterPaginaDeCodigo("x", 0), EPosPrinterException);
}

// --- Every byte against glibc's iconv --------------------------------------------

// Converts with iconv; false when iconv rejects the input.
bool Iconv(const char* para, const char* de, const std::string& entrada, std::string& saida) {
  iconv_t cd = iconv_open(para, de);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv cannot convert " << de << " to " << para;
    return false;
  }
  char buf[32];
  char* in = const_cast<char*>(entrada.data());
  std::size_t inLeft = entrada.size();
  char* out = buf;
  std::size_t outLeft = sizeof buf;
  bool ok = iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  saida.assign(buf, static_cast<std::size_t>(out - buf));
  return ok;
}

std::string Utf32(unsigned codigo) {
  return Bytes({static_cast<unsigned char>(codigo), static_cast<unsigned char>(codigo >> 8),
                static_cast<unsigned char>(codigo >> 16), 0});
}

TEST(CodePage, EveryByteOfEveryPageMatchesIconv) {
  struct Pagina {
    int codigo;
    const char* nomeIconv;
  };
  const Pagina paginas[] = {{437, "IBM437"}, {850, "IBM850"}, {852, "IBM852"},
                            {860, "IBM860"}, {1252, "CP1252"}, {65001, "UTF-8"}};
  // Windows-1252 leaves 81, 8D, 8F, 90 and 9D undefined; iconv rejects them,
  // Windows reads them as the C1 controls U+0081 ... U+009D.
  auto indefinido = [](int b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; };

  int comparados = 0;
  for (const Pagina& pg : paginas) {
    for (int b = 0; b < 256; ++b) {
      const std::string byte(1, static_cast<char>(b));
      const std::string obtido = ConverterPaginaDeCodigo(byte, pg.codigo);
      std::string unicode;
      const bool lido = Iconv("UTF-32LE", "CP1252", byte, unicode);
      EXPECT_EQ(lido, !indefinido(b)) << "byte " << b;
      if (!lido) {
        unicode = Utf32(static_cast<unsigned>(b));
        if (pg.codigo == 1252) {
          // Windows converts them back to the same byte; iconv cannot
          // write them in CP1252 at all.
          EXPECT_EQ(obtido, byte) << "byte " << b;
          continue;
        }
      }
      std::string esperado;
      if (!Iconv(pg.nomeIconv, "UTF-32LE", unicode, esperado)) esperado = "?";
      EXPECT_EQ(obtido, esperado) << "code page " << pg.codigo << ", byte " << b;
      ++comparados;
    }
  }
  EXPECT_EQ(comparados, 6 * 256 - 5);
}

TEST(CodePage, LongTextsConvertByteByByte) {
  std::string texto;
  for (int i = 0; i < 5000; ++i) texto += static_cast<char>((i * 7919) & 0xFF);
  for (int p : {437, 850, 852, 860}) {
    const std::string r = ConverterPaginaDeCodigo(texto, p);
    ASSERT_EQ(r.size(), texto.size());
    for (std::size_t i = 0; i < texto.size(); i += 97)
      EXPECT_EQ(r[i], ConverterPaginaDeCodigo(texto.substr(i, 1), p)[0]) << p << " at " << i;
  }
  std::string utf8;
  for (char c : texto) utf8 += ConverterPaginaDeCodigo(std::string(1, c), 65001);
  EXPECT_EQ(ConverterPaginaDeCodigo(texto, 65001), utf8);
}

}  // namespace
}  // namespace bilhetor
